// The composer on POSIX: libhangul's input context with its two-set
// keyboard, the one under the Korean input methods of Linux desktops.
#include <hangul.h>

#include "console/encoding.h"
#include "console/hangul_composer.h"

namespace console {

namespace {

class Libhangul final : public HangulComposer {
  public:
    Libhangul(HangulInputContext* ic, const std::string& encoding) : ic_(ic) {
        if (encoding != "UTF-8") to_terminal_ = std::make_unique<Converter>("UTF-8", encoding);
    }
    ~Libhangul() override { hangul_ic_delete(ic_); }
    Libhangul(const Libhangul&) = delete;
    Libhangul& operator=(const Libhangul&) = delete;

    std::string letter(char key) override {
        hangul_ic_process(ic_, key);
        std::string done = text(hangul_ic_get_commit_string(ic_));
        preedit_ = text(hangul_ic_get_preedit_string(ic_));
        return done;
    }

    bool backspace() override {
        bool took = hangul_ic_backspace(ic_);
        preedit_ = text(hangul_ic_get_preedit_string(ic_));
        return took;
    }

    std::string commit() override {
        preedit_.clear();
        return text(hangul_ic_flush(ic_));
    }

    void reset() override {
        hangul_ic_reset(ic_);
        preedit_.clear();
    }

    const std::string& preedit() const override { return preedit_; }

  private:
    // libhangul's zero-terminated UCS-4, in the terminal's encoding.
    std::string text(const ucschar* ucs) {
        std::string utf8;
        for (; ucs != nullptr && *ucs != 0; ++ucs) append_utf8(utf8, *ucs);
        return to_terminal_ ? to_terminal_->convert(utf8) : utf8;
    }

    HangulInputContext* ic_;
    std::unique_ptr<Converter> to_terminal_;
    std::string preedit_;
};

}  // namespace

std::unique_ptr<HangulComposer> make_hangul_composer(const std::string& encoding) {
    HangulInputContext* ic = hangul_ic_new("2");  // 두벌식
    if (ic == nullptr) return nullptr;
    return std::make_unique<Libhangul>(ic, encoding);
}

}  // namespace console
