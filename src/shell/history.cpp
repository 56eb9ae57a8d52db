#include "shell/history.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <map>

#include "console/encoding.h"
#include "duel/practice_rival.h"
#include "shell/history_detail.h"

namespace shell {

namespace {

// The file's first two lines: its format's version, then the columns' names.
constexpr char kHeader[] =
    "# taja-duel history 1\n"
    "time\tmode\trival\toutcome\tscore\tkeys_per_minute\taccuracy\twords\thits\tseconds\n";
constexpr std::size_t kFields = 10;

constexpr char kKeysLabel[] = "\xC5\xB8\xBC\xF6";              // "타수" (4 cells)
constexpr char kAccuracyLabel[] = "\xC1\xA4\xC8\xAE\xB5\xB5";  // "정확도" (6 cells)
constexpr char kNoFolder[] = "the system names no folder for it";

// Glyphs of the chart: the day's mean, and from there to its best.
constexpr char kMeanBlock[] = "\xE2\x96\x88";  // U+2588 FULL BLOCK
constexpr char kBestShade[] = "\xE2\x96\x91";  // U+2591 LIGHT SHADE
constexpr int kBarCells = 40;
constexpr std::size_t kChartDays = 30;
constexpr std::size_t kLastMatches = 10;
constexpr std::size_t kDamagedNamed = 20;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and
// back (H. Hinnant's algorithms).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

Civil civil_from_days(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

bool leap(std::int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

unsigned days_in_month(std::int64_t y, unsigned m) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0); }

std::string format_time(std::int64_t t) {
    const std::int64_t days = floor_div(t, 86400);
    const std::int64_t secs = t - days * 86400;
    const Civil c = civil_from_days(days);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<long long>(c.year), c.month, c.day, static_cast<int>(secs / 3600),
                  static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60));
    return buf;
}

// A whole number of exactly `digits` digits (any number when 0, up to 9).
bool parse_number(std::string_view s, bool negative_allowed, int& out, std::size_t digits = 0) {
    if (s.empty() || s.size() > 10) return false;
    if (digits != 0 && s.size() != digits) return false;
    if (s[0] == '-' && (!negative_allowed || s.size() == 1)) return false;
    const char* end = s.data() + s.size();
    auto [stop, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc() && stop == end;
}

// "YYYY-MM-DDTHH:MM:SSZ", and nothing else.
bool parse_time(std::string_view s, std::int64_t& t) {
    if (s.size() != 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' ||
        s[16] != ':' || s[19] != 'Z') {
        return false;
    }
    int y, mo, d, h, mi, se;
    const auto digit_field = [&](std::size_t at, std::size_t n, int& v) {
        for (std::size_t i = at; i < at + n; ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
        }
        return parse_number(s.substr(at, n), false, v, n);
    };
    if (!digit_field(0, 4, y) || !digit_field(5, 2, mo) || !digit_field(8, 2, d) ||
        !digit_field(11, 2, h) || !digit_field(14, 2, mi) || !digit_field(17, 2, se)) {
        return false;
    }
    if (mo < 1 || mo > 12 || d < 1 || static_cast<unsigned>(d) > days_in_month(y, mo) || h > 23 ||
        mi > 59 || se > 59) {
        return false;
    }
    t = days_from_civil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 +
        mi * 60 + se;
    return true;
}

bool optional_number(std::string_view s, std::optional<int>& out) {
    if (s.empty()) {
        out.reset();
        return true;
    }
    int v = 0;
    if (!parse_number(s, false, v)) return false;
    out = v;
    return true;
}

const char* mode_name(PlayMode m) {
    switch (m) {
        case PlayMode::host:
            return "host";
        case PlayMode::join:
            return "join";
        case PlayMode::practice:
            return "practice";
    }
    return "practice";
}

const char* outcome_name(MatchEnd e) {
    switch (e) {
        case MatchEnd::won:
            return "won";
        case MatchEnd::lost:
            return "lost";
        case MatchEnd::rival_left:
            return "rival_left";
    }
    return "lost";
}

bool printable(char c) { return c >= 0x20 && c < 0x7F; }

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// ---- the report ----

struct Tally {
    int matches = 0;
    int won = 0;
    int lost = 0;
    int left = 0;
    void add(MatchEnd e) {
        ++matches;
        (e == MatchEnd::won ? won : e == MatchEnd::lost ? lost : left) += 1;
    }
};

// The local calendar's date and time of `t`: "YYYY-MM-DD HH:MM".
std::string local_time(std::int64_t t) {
    const auto tt = static_cast<std::time_t>(t);
    const std::tm* tm = std::localtime(&tt);
    if (tm == nullptr) return format_time(t).substr(0, 16);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", tm);
    return buf;
}

std::string right(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string left(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

std::string number_or_dash(const std::optional<int>& v) {
    return v ? std::to_string(*v) : std::string("-");
}

std::optional<int> rounded_ratio(long long num, long long den) {
    if (den <= 0) return std::nullopt;
    return static_cast<int>((num + den / 2) / den);
}

struct Day {
    std::optional<int> best;
    long long keys_sum = 0;
    int keys_count = 0;
    long long words = 0;
    long long hits = 0;
};

class Report {
  public:
    explicit Report(const ReportStyle& style)
        : style_(style),
          to_labels_("CP949", style.encoding),
          utf8_(style.encoding == "UTF-8"),
          keys_(to_labels_.convert(kKeysLabel)),
          accuracy_(to_labels_.convert(kAccuracyLabel)) {}

    std::string paint(const std::string& text, const char* sgr) const {
        if (!style_.colour || text.empty()) return text;
        return std::string("\x1b[") + sgr + "m" + text + "\x1b[0m";
    }

    void totals(const std::string& path, const std::vector<MatchRecord>& records) {
        Tally all;
        Tally by_mode[3];
        for (const MatchRecord& r : records) {
            all.add(r.outcome);
            by_mode[static_cast<int>(r.mode)].add(r.outcome);
        }
        out_ += paint("History of " + std::to_string(all.matches) +
                          (all.matches == 1 ? " match" : " matches") + " in " + path,
                      "1") +
                "\n";
        out_ += "            matches   won  lost  rival left\n";
        const auto row = [&](const char* name, const Tally& t) {
            out_ += "  " + left(name, 10) + right(std::to_string(t.matches), 7) +
                    right(std::to_string(t.won), 6) + right(std::to_string(t.lost), 6) +
                    right(std::to_string(t.left), 12) + "\n";
        };
        for (PlayMode m : {PlayMode::host, PlayMode::join, PlayMode::practice}) {
            row(mode_name(m), by_mode[static_cast<int>(m)]);
        }
        row("all", all);
    }

    void best(const std::vector<MatchRecord>& records) {
        const std::optional<Best> b = best_keys_per_minute(records);
        out_ += "\nBest " + keys_ + ": ";
        if (b) {
            out_ += paint(std::to_string(b->keys_per_minute), "1") + " on " +
                    local_time(b->time).substr(0, 10) + "\n";
        } else {
            out_ += "-\n";
        }
    }

    void last_matches(const std::vector<MatchRecord>& records) {
        const std::size_t n = std::min(records.size(), kLastMatches);
        out_ +=
            "\nLast " + std::to_string(n) + (n == 1 ? " match" : " matches") + ", newest last:\n";
        out_ += "  " + left("ended", 16) + "  " + left("mode", 8) + "  " + left("rival", 15) +
                "  " + left("outcome", 10) + right("score", 7) + "  " + keys_ + "  " + accuracy_ +
                "\n";
        for (std::size_t i = records.size() - n; i < records.size(); ++i) {
            const MatchRecord& r = records[i];
            std::string rival = r.rival.size() > 15 ? r.rival.substr(0, 14) + "~" : r.rival;
            const char* outcome = r.outcome == MatchEnd::won    ? "won"
                                  : r.outcome == MatchEnd::lost ? "lost"
                                                                : "rival left";
            const char* sgr = r.outcome == MatchEnd::won    ? "32"
                              : r.outcome == MatchEnd::lost ? "31"
                                                            : "33";
            out_ += "  " + local_time(r.time) + "  " + left(mode_name(r.mode), 8) + "  " +
                    left(rival, 15) + "  " + paint(left(outcome, 10), sgr) +
                    right(std::to_string(r.score), 7) +
                    right(number_or_dash(r.keys_per_minute), 6) +
                    right(r.accuracy_percent ? std::to_string(*r.accuracy_percent) + "%" : "-", 8) +
                    "\n";
        }
    }

    void chart(const std::vector<MatchRecord>& records) {
        std::map<std::string, Day> days;
        for (const MatchRecord& r : records) {
            Day& d = days[local_time(r.time).substr(0, 10)];
            if (r.keys_per_minute) {
                d.best = std::max(d.best.value_or(0), *r.keys_per_minute);
                d.keys_sum += *r.keys_per_minute;
                ++d.keys_count;
            }
            d.words += r.words;
            d.hits += r.hits;
        }
        while (days.size() > kChartDays) days.erase(days.begin());
        int top = 0;
        for (const auto& [date, d] : days) top = std::max(top, d.best.value_or(0));

        const std::string mean_glyph = utf8_ ? kMeanBlock : "#";
        const std::string best_glyph = utf8_ ? kBestShade : "-";
        out_ += "\n" + keys_ + " by day, the last " + std::to_string(days.size()) +
                (days.size() == 1 ? " day" : " days") + " played (" + mean_glyph + " mean, " +
                best_glyph + " best):\n";
        out_ += "  " + left("day", 10) + "  " + std::string(kBarCells, ' ') + right("mean", 6) +
                right("best", 6) + "  " + accuracy_ + "\n";
        const auto cells = [&](int v) {
            if (v <= 0 || top <= 0) return 0;
            return std::max(1, (v * kBarCells + top / 2) / top);
        };
        for (const auto& [date, d] : days) {
            const std::optional<int> mean = rounded_ratio(d.keys_sum, d.keys_count);
            const int mean_cells = cells(mean.value_or(0));
            const int best_cells = std::max(mean_cells, cells(d.best.value_or(0)));
            std::string bar;
            for (int i = 0; i < mean_cells; ++i) bar += mean_glyph;
            std::string shade;
            for (int i = mean_cells; i < best_cells; ++i) shade += best_glyph;
            // Rounded down, as a match's own 정확도 is.
            const std::optional<int> accuracy =
                d.words > 0 ? std::optional<int>(static_cast<int>(d.hits * 100 / d.words))
                            : std::nullopt;
            out_ += "  " + date + "  " + paint(bar, "32") + paint(shade, "36") +
                    std::string(static_cast<std::size_t>(kBarCells - best_cells), ' ') +
                    right(number_or_dash(mean), 6) + right(number_or_dash(d.best), 6) +
                    right(accuracy ? std::to_string(*accuracy) + "%" : "-", 8) + "\n";
        }
    }

    void damaged(const std::vector<long>& lines) {
        if (lines.empty()) return;
        out_ += "\nDamaged lines skipped: " + std::to_string(lines.size()) + " (line" +
                (lines.size() == 1 ? " " : "s ");
        for (std::size_t i = 0; i < lines.size() && i < kDamagedNamed; ++i) {
            out_ += (i == 0 ? "" : ", ") + std::to_string(lines[i]);
        }
        if (lines.size() > kDamagedNamed) out_ += ", ...";
        out_ += ")\n";
    }

    void line(const std::string& text) { out_ += text + "\n"; }
    std::string take() { return std::move(out_); }

  private:
    const ReportStyle& style_;
    console::Converter to_labels_;
    bool utf8_;
    std::string keys_;
    std::string accuracy_;
    std::string out_;
};

}  // namespace

std::string format_record(const MatchRecord& r) {
    std::string rival = r.rival;
    for (char& c : rival) {
        if (!printable(c)) c = '?';
    }
    const auto opt = [](const std::optional<int>& v) { return v ? std::to_string(*v) : ""; };
    return format_time(r.time) + '\t' + mode_name(r.mode) + '\t' + rival + '\t' +
           outcome_name(r.outcome) + '\t' + std::to_string(r.score) + '\t' +
           opt(r.keys_per_minute) + '\t' + opt(r.accuracy_percent) + '\t' +
           std::to_string(r.words) + '\t' + std::to_string(r.hits) + '\t' +
           std::to_string(r.seconds) + '\n';
}

std::optional<MatchRecord> parse_record(std::string_view line) {
    std::string_view f[kFields];
    std::size_t at = 0;
    for (std::size_t i = 0; i < kFields; ++i) {
        const std::size_t tab = line.find('\t', at);
        if (tab == std::string_view::npos && i + 1 < kFields) return std::nullopt;
        f[i] = line.substr(at, tab == std::string_view::npos ? line.npos : tab - at);
        at = tab + 1;
    }
    MatchRecord r;
    if (!parse_time(f[0], r.time)) return std::nullopt;
    if (f[1] == "host") {
        r.mode = PlayMode::host;
    } else if (f[1] == "join") {
        r.mode = PlayMode::join;
    } else if (f[1] == "practice") {
        r.mode = PlayMode::practice;
    } else {
        return std::nullopt;
    }
    if (!std::all_of(f[2].begin(), f[2].end(), printable)) return std::nullopt;
    r.rival = f[2];
    if (f[3] == "won") {
        r.outcome = MatchEnd::won;
    } else if (f[3] == "lost") {
        r.outcome = MatchEnd::lost;
    } else if (f[3] == "rival_left") {
        r.outcome = MatchEnd::rival_left;
    } else {
        return std::nullopt;
    }
    if (!parse_number(f[4], true, r.score) || !optional_number(f[5], r.keys_per_minute) ||
        !optional_number(f[6], r.accuracy_percent) || !parse_number(f[7], false, r.words) ||
        !parse_number(f[8], false, r.hits) || !parse_number(f[9], false, r.seconds)) {
        return std::nullopt;
    }
    if (r.accuracy_percent && *r.accuracy_percent > 100) return std::nullopt;
    if (r.hits > r.words) return std::nullopt;
    return r;
}

std::string history_path() { return detail::default_history_path(); }

std::string append_history(const std::string& path, const MatchRecord& record) {
    if (path.empty()) return kNoFolder;
    const std::string folder = folder_of(path);
    if (!folder.empty()) {
        std::string error = detail::make_folders(folder);
        if (!error.empty()) return error;
    }
    return detail::append_locked(path, kHeader, format_record(record));
}

History parse_history(std::string_view text) {
    History h;
    long number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        ++number;
        const std::size_t nl = text.find('\n', at);
        if (nl == std::string_view::npos) {
            // A last line never ended: a write cut short. Its fields may be
            // cut short too, so none of it is taken.
            h.damaged_lines.push_back(number);
            break;
        }
        std::string_view line = text.substr(at, nl - at);
        at = nl + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#' || line.substr(0, 5) == "time\t") continue;
        if (std::optional<MatchRecord> r = parse_record(line)) {
            h.records.push_back(std::move(*r));
        } else {
            h.damaged_lines.push_back(number);
        }
    }
    return h;
}

History read_history(const std::string& path) {
    try {
        History h;
        if (path.empty()) {
            h.status = History::Status::unreadable;
            h.error = kNoFolder;
            return h;
        }
        std::string text;
        std::string error;
        switch (detail::read_file(path, text, error)) {
            case detail::ReadResult::ok:
                return parse_history(text);
            case detail::ReadResult::none:
                h.status = History::Status::none;
                return h;
            case detail::ReadResult::failed:
                h.status = History::Status::unreadable;
                h.error = error;
                return h;
        }
        return h;
    } catch (const std::exception& e) {
        History h;
        h.status = History::Status::unreadable;
        h.error = e.what();
        return h;
    }
}

std::optional<Best> best_keys_per_minute(const std::vector<MatchRecord>& records) {
    std::optional<Best> best;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::optional<int>& k = records[i].keys_per_minute;
        if (k && (!best || *k > best->keys_per_minute)) {
            best = Best{*k, records[i].time, i + 1 == records.size()};
        }
    }
    return best;
}

std::optional<int> recent_practice_speed(const std::vector<MatchRecord>& records) {
    std::vector<int> speeds;
    for (auto r = records.rbegin(); r != records.rend() && speeds.size() < 5; ++r) {
        if (r->mode == PlayMode::practice && r->keys_per_minute) {
            speeds.push_back(*r->keys_per_minute);
        }
    }
    if (speeds.empty()) return std::nullopt;
    std::sort(speeds.begin(), speeds.end());
    const std::size_t mid = speeds.size() / 2;
    const long long median =
        speeds.size() % 2 == 1 ? speeds[mid] : (1LL * speeds[mid - 1] + speeds[mid] + 1) / 2;
    return static_cast<int>(
        std::clamp<long long>(median, duel::kMinPracticeSpeed, duel::kMaxPracticeSpeed));
}

std::string history_report(const std::string& path, const History& history,
                           const ReportStyle& style) {
    Report report(style);
    if (history.records.empty()) {
        report.line("No match recorded yet in " + path + ".");
    } else {
        report.totals(path, history.records);
        report.best(history.records);
        report.last_matches(history.records);
        report.chart(history.records);
    }
    report.damaged(history.damaged_lines);
    return report.take();
}

int print_history() {
    std::setlocale(LC_CTYPE, "");
    ReportStyle style;
    style.encoding = console::terminal_encoding();
    console::Converter to_terminal("CP949", style.encoding);
    const std::string path = history_path();
    const History history = read_history(path);
    if (history.status == History::Status::unreadable) {
        detail::write_text(stderr, "taja-duel: cannot read the history " + path + ": " +
                                       to_terminal.convert(history.error) + "\n");
        return 2;
    }
    const char* no_colour = std::getenv("NO_COLOR");
    style.colour = detail::stdout_takes_colour() && (no_colour == nullptr || *no_colour == '\0');
    detail::write_text(stdout, history_report(path, history, style));
    return 0;
}

}  // namespace shell
