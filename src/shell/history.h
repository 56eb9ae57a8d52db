// The player's history: one line for every match played, in a tab-separated
// file of the player's own that the program only ever appends to.
//
// The file (history_path()) begins with two lines, written together with the
// first match's line:
//
//   # taja-duel history 1
//   time	mode	rival	outcome	score	keys_per_minute	accuracy	words	hits
//   seconds
//
// The first names the format's version; the second names the columns. Every
// further line is one match, its fields in that order: the time the match
// ended (UTC, ISO 8601: 2026-05-01T12:34:56Z), the mode (host, join,
// practice), the rival (the address joined, the port hosted on, or the
// practice rival's speed), the outcome (won, lost, rival_left), the score,
// 타수 in keystrokes a minute and 정확도 in whole percent (each empty when the
// match could not give it), the words entered, the words that hit, and the
// match's length in whole seconds. A later version may add columns after
// these; readers take the first ten and leave the rest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

enum class PlayMode { host, join, practice };
enum class MatchEnd { won, lost, rival_left };

struct MatchRecord {
    std::int64_t time = 0;  // when the match ended: seconds since 1970-01-01 UTC
    PlayMode mode = PlayMode::practice;
    // The address joined, the port hosted on, or the practice speed. Only
    // printable ASCII is kept: any other byte is written as '?'.
    std::string rival;
    MatchEnd outcome = MatchEnd::lost;
    int score = 0;
    std::optional<int> keys_per_minute;   // 타수
    std::optional<int> accuracy_percent;  // 정확도
    int words = 0;                        // words entered
    int hits = 0;                         // words that raised or knocked
    int seconds = 0;                      // the match's length

    bool operator==(const MatchRecord&) const = default;
};

// "기록하지 못했습니다: ", followed by the reason append_history gave: the
// result screen's notice of a match that was not recorded (CP949).
inline constexpr char kNotRecorded[] =
    "\xB1\xE2\xB7\xCF\xC7\xCF\xC1\xF6 \xB8\xF8\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9: ";

// The history file: $XDG_STATE_HOME/taja-duel/history.tsv (by default
// ~/.local/state/taja-duel/history.tsv) on POSIX,
// %LOCALAPPDATA%\taja-duel\history.tsv on Windows. Empty when the system
// names no such folder (no HOME, say).
std::string history_path();

// One match as its line of the file, ending in '\n'.
std::string format_record(const MatchRecord& record);
// A line of the file (without its '\n') as a match; nothing when any of its
// first ten fields is not as format_record writes it. Fields after the
// tenth are left alone.
std::optional<MatchRecord> parse_record(std::string_view line);

// Appends `record` to the file at `path`, making the file and its folders
// when they are missing: the line goes to the file in one write, under a
// lock that other appenders take too, with the header first when the file
// is empty, and is flushed to the disk before the call returns. Two
// programs appending at once both get all their lines, whole. A line that
// an earlier failure left unended is ended first, so it cannot swallow this
// one. Returns "" once the line is on the disk, or the reason it is not
// (CP949).
std::string append_history(const std::string& path, const MatchRecord& record);

struct History {
    enum class Status {
        ok,          // read (perhaps with damaged lines)
        none,        // no file yet
        unreadable,  // `error` says why (CP949)
    };
    Status status = Status::ok;
    std::string error;
    std::vector<MatchRecord> records;  // in the file's order, oldest first
    std::vector<long> damaged_lines;   // the skipped lines' numbers, from 1
};

// The records in the text of a history file. A line that is not a match (cut
// short, edited by hand, a line never ended) is skipped and its number kept;
// the header, comments and empty lines are skipped silently.
History parse_history(std::string_view text);
// The file at `path`, read whole and parsed. Never throws.
History read_history(const std::string& path);

struct Best {
    int keys_per_minute = 0;
    std::int64_t time = 0;  // of the match that set it
    // Whether the last of the records set it: no earlier match reached it.
    bool newest = false;
};
// The highest 타수 in `records`; the first match to reach it set it.
// Nothing when no match gave a 타수.
std::optional<Best> best_keys_per_minute(const std::vector<MatchRecord>& records);

// Where a practice rival starts with no speed given: the median 타수 of the
// last five practice matches that gave one, within the rival's 50 to 1000.
// Nothing without such a match.
std::optional<int> recent_practice_speed(const std::vector<MatchRecord>& records);

// The report `--history` prints, within 80 columns: the totals, the best
// 타수, the last ten matches, a chart of 타수 over the last 30 days that had
// a match, and the damaged lines, with dates of the local time zone. The
// text is in `encoding` (as iconv names it); the chart's blocks are drawn
// in ASCII in any encoding but UTF-8. `colour` adds SGR colours.
struct ReportStyle {
    std::string encoding = "UTF-8";
    bool colour = false;
};
std::string history_report(const std::string& path, const History& history,
                           const ReportStyle& style);

// The `--history` run: prints the report of history_path() on stdout, in the
// terminal's encoding, without touching the terminal's modes. Returns the
// exit status: 0, or 2 when the file cannot be read at all (said on stderr).
int print_history();

}  // namespace shell
