// UPnP-IGD through Windows' own UPnP NAT objects (the NATUPnP type
// library): IUPnPNAT finds the router, its IStaticPortMappingCollection
// adds and removes mappings. mingw-w64 declares none of these interfaces,
// so the few methods used are declared here, in their vtable order, with
// the identifiers Windows registers for them. Each call runs on a thread of
// its own: COM is set up for that thread and the objects made afresh.
// Static mappings have no lease: the one made is removed when hosting ends.
#include <winsock2.h>
#include <ws2tcpip.h>
// After the Winsock headers.
#include <oleauto.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "net/ip_sockets.h"
#include "net/upnp.h"

namespace net::upnp {

// Outside any unnamed namespace: the compiler sees no implementation of
// these interfaces in the program, and for types only this file can derive
// from it would take every call through them for one that cannot happen.
namespace com {

struct IStaticPortMapping : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ExternalIPAddress(BSTR* address) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExternalPort(long* port) = 0;
    // Further methods are not called.
};

struct IStaticPortMappingCollection : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(long external_port, BSTR protocol,
                                               IStaticPortMapping** mapping) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(long external_port, BSTR protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE Add(long external_port, BSTR protocol, long internal_port,
                                          BSTR internal_client, VARIANT_BOOL enabled,
                                          BSTR description, IStaticPortMapping** mapping) = 0;
};

struct IUPnPNAT : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE
    get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) = 0;
    // Further methods are not called.
};

}  // namespace com

namespace {

using com::IStaticPortMapping;
using com::IStaticPortMappingCollection;
using com::IUPnPNAT;

// {AE1E00AA-3FD5-403C-8A27-2BBDC30CD0E1}
constexpr CLSID kUPnPNAT = {
    0xae1e00aa, 0x3fd5, 0x403c, {0x8a, 0x27, 0x2b, 0xbd, 0xc3, 0x0c, 0xd0, 0xe1}};
// {B171C812-CC76-485A-94D8-B6B3A2794E99}
constexpr IID kIUPnPNAT = {
    0xb171c812, 0xcc76, 0x485a, {0x94, 0xd8, 0xb6, 0xb3, 0xa2, 0x79, 0x4e, 0x99}};

// COM for the calling thread, for as long as it lives.
class ComThread {
  public:
    ComThread() : ok_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComThread() {
        if (ok_) ::CoUninitialize();
    }
    bool ok() const { return ok_; }

  private:
    bool ok_;
};

template <typename T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p != nullptr) p->Release();
    }
};

struct Bstr {
    BSTR s;
    explicit Bstr(const wchar_t* text) : s(::SysAllocString(text)) {}
    ~Bstr() { ::SysFreeString(s); }
};

// The router's mappings, found anew; nothing without a router.
bool mappings(Released<IUPnPNAT>& nat, Released<IStaticPortMappingCollection>& all) {
    if (FAILED(::CoCreateInstance(kUPnPNAT, nullptr, CLSCTX_INPROC_SERVER, kIUPnPNAT,
                                  reinterpret_cast<void**>(&nat.p))))
        return false;
    return SUCCEEDED(nat.p->get_StaticPortMappingCollection(&all.p)) && all.p != nullptr;
}

}  // namespace

struct Igd::State {
    long mapped = 0;  // the outside port mapped, 0 when none
};

Igd::Igd() : state_(std::make_unique<State>()) {}
Igd::~Igd() = default;

Result Igd::add(std::uint16_t port, Mapping& mapping) {
    ComThread com;
    if (!com.ok()) return Result::no_router;
    Released<IUPnPNAT> nat;
    Released<IStaticPortMappingCollection> all;
    if (!mappings(nat, all)) return Result::no_router;
    // This machine's address on the router's network, as the router sees it.
    const std::optional<IpAddress> gateway = ip::default_gateway(Family::v4);
    if (!gateway) return Result::no_router;
    IpAddress lan;
    if (ip::udp_socket_to(Endpoint{*gateway, 9}, lan).fd() < 0) return Result::no_router;
    const std::string client = ip_text(lan);
    const std::wstring wide_client(client.begin(), client.end());
    Bstr tcp(L"TCP");
    Bstr inside(wide_client.c_str());
    Bstr description(L"taja-duel");
    Released<IStaticPortMapping> made;
    if (FAILED(all.p->Add(port, tcp.s, port, inside.s, VARIANT_TRUE, description.s, &made.p)) ||
        made.p == nullptr)
        return Result::refused;
    state_->mapped = port;
    mapping.outside_port = port;
    mapping.lease = 0;
    mapping.outside.reset();
    BSTR outside = nullptr;
    if (SUCCEEDED(made.p->get_ExternalIPAddress(&outside)) && outside != nullptr) {
        const std::wstring wide(outside, ::SysStringLen(outside));
        const std::string text(wide.begin(), wide.end());
        in_addr v4{};
        if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
            IpAddress ip;
            std::memcpy(ip.bytes.data(), &v4, 4);
            mapping.outside = ip;
        }
        ::SysFreeString(outside);
    }
    return Result::mapped;
}

void Igd::remove() {
    if (state_->mapped == 0) return;
    ComThread com;
    Released<IUPnPNAT> nat;
    Released<IStaticPortMappingCollection> all;
    if (!com.ok() || !mappings(nat, all)) return;
    Bstr tcp(L"TCP");
    all.p->Remove(state_->mapped, tcp.s);
    state_->mapped = 0;
}

}  // namespace net::upnp
