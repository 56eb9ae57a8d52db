// The router's answers to PCP and NAT-PMP on any bytes: the reader never
// reads past the datagram, takes nothing longer than PCP allows, and a
// success it takes names an outside port whenever it grants a lifetime.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "check.h"
#include "net/port_mapping_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of its exact size, so that reading past the end is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto a = net::pmp::decode_answer(bytes.data(), bytes.size());
    if (!a) return 0;
    fuzz::check(size <= net::pmp::kPcpMaxSize, "nothing longer than 1100 bytes");
    fuzz::check(size >= 8, "nothing shorter than a header");
    if (a->kind == net::pmp::AnswerKind::unsupported_version) return 0;
    if (a->result == net::pmp::kSuccess && a->lifetime != 0)
        fuzz::check(a->external_port != 0, "a mapping granted has an outside port");
    if (a->kind == net::pmp::AnswerKind::pcp_map)
        fuzz::check(size >= net::pmp::kPcpMapSize && size % 4 == 0, "a whole MAP answer");
    return 0;
}
