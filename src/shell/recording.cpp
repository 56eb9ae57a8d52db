#include "shell/recording.h"

#include <ctime>
#include <utility>

#include "duel/practice_rival.h"

namespace shell {

namespace {

// "최고 타수 " N "타/분", and " 새 기록!" after a best this match set.
constexpr char kBestLabel[] = "\xC3\xD6\xB0\xED \xC5\xB8\xBC\xF6 ";
constexpr char kPerMinute[] = "\xC5\xB8/\xBA\xD0";
constexpr char kNewBest[] = " \xBB\xF5 \xB1\xE2\xB7\xCF!";
// "최근 타수에 맞춘 연습 상대: " N "타/분"
constexpr char kRecentLevel[] =
    "\xC3\xD6\xB1\xD9 \xC5\xB8\xBC\xF6\xBF\xA1 \xB8\xC2\xC3\xE1 \xBF\xAC\xBD\xC0 "
    "\xBB\xF3\xB4\xEB: ";

MatchEnd end_of(duel::Outcome outcome) {
    switch (outcome) {
        case duel::Outcome::won:
            return MatchEnd::won;
        case duel::Outcome::lost:
            return MatchEnd::lost;
        case duel::Outcome::rival_left:
        case duel::Outcome::player_left:  // never recorded: no result stands
            break;
    }
    return MatchEnd::rival_left;
}

// Records the match, and says what came of it for the result screen.
std::vector<std::string> record_and_report(const std::string& path, const MatchRecord& record) {
    if (path.empty()) return {};
    if (std::string failed = append_history(path, record); !failed.empty())
        return {kNotRecorded + failed};
    const std::optional<Best> best = best_keys_per_minute(read_history(path).records);
    if (!best) return {};
    std::string line = kBestLabel + std::to_string(best->keys_per_minute) + kPerMinute;
    if (best->newest) line += kNewBest;
    return {line};
}

}  // namespace

MatchRecord record_of(const duel::MatchResult& result, PlayMode mode, std::string rival,
                      std::int64_t time) {
    MatchRecord r;
    r.time = time;
    r.mode = mode;
    r.rival = std::move(rival);
    r.outcome = end_of(result.outcome);
    r.score = result.score;
    r.keys_per_minute = result.stats.keys_per_minute();
    r.accuracy_percent = result.stats.accuracy_percent();
    r.words = result.stats.words();
    r.hits = result.stats.hits();
    r.seconds = result.seconds;
    return r;
}

duel::MatchNotes recording_notes(const std::string& path, PlayMode mode, std::string rival,
                                 std::string board) {
    duel::MatchNotes notes;
    notes.board = std::move(board);
    notes.result = [path, mode, rival = std::move(rival)](const duel::MatchResult& result) {
        return record_and_report(path, record_of(result, mode, rival, std::time(nullptr)));
    };
    return notes;
}

int practice_speed_from(const std::string& path, std::string& board) {
    board.clear();
    if (path.empty()) return duel::kDefaultPracticeSpeed;
    const std::optional<int> recent = recent_practice_speed(read_history(path).records);
    if (!recent) return duel::kDefaultPracticeSpeed;
    board = kRecentLevel + std::to_string(*recent) + kPerMinute;
    return *recent;
}

}  // namespace shell
