#include "run/problem_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "platform/console.h"
#include "rules/piece_names.h"

namespace nagare {

namespace {

using std::string_view;

// Header keys, found anywhere in a line.
constexpr string_view KEY_TITLE = "作品名：";
constexpr string_view KEY_AUTHOR = "作者：";
constexpr string_view KEY_PUBLICATION = "発表誌：";
constexpr string_view KEY_DATE = "発表年月：";
constexpr string_view KEY_LENGTH = "手数：";
constexpr string_view KEY_CLASSIFICATION = "分類：";
constexpr string_view KEY_REMARKS = "備考：";
constexpr string_view KEY_HANDICAP = "手合割：";
constexpr string_view KEY_HAND = "持駒：";
constexpr string_view KEY_SECOND_MOVES_FIRST = "後手番";
constexpr string_view KEY_LOWER_MOVES_FIRST = "下手番";
constexpr string_view KEY_MOVE_LIST = "手数----指手";
constexpr string_view EVEN_GAME = "平手";
constexpr string_view HEADING_SEPARATOR = "／";
constexpr string_view FULLWIDTH_SPACE = "　";

constexpr string_view NO_CHECK_NAME = "非王手可";
constexpr string_view PAWN_DROP_NAME = "打歩";
constexpr string_view DEFAULT_CLASSIFICATION = "最善詰";

constexpr int16_t NO_COOK_DEPTH_LIMIT = 2999;  // 余詰検討 without a number: as deep as a search goes
constexpr int16_t DEFAULT_MONITOR_DEPTH = 2;
constexpr int32_t MEGABYTES_PER_GIGABYTE = 1024;

// A rank row: "|" and nine cells of a mark byte and a two-byte piece character; what follows the
// ninth cell (the closing bar, the rank label) is not read.
constexpr size_t CELL_BYTES = 3;
constexpr size_t ROW_BYTES = 1 + CELL_BYTES * FILE_COUNT;
constexpr char SECOND_PLAYER_MARK = 'v';
constexpr size_t CHARACTER_BYTES = 2;

// Lines of the diagram block after the second player's hand line.
constexpr int LINES_BEFORE_RANKS = 2;  // file numbers, top border

struct GenreName {
    int genre;
    string_view name;
};
constexpr GenreName GENRE_NAMES[] = {
    {GENRE_WORST_MATE, "最悪詰"},
    {GENRE_BEST_MATE, "最善詰"},
    {GENRE_WORST_SELFMATE, "最悪自玉詰"},
    {GENRE_BEST_SELFMATE, "最善自玉詰"},
    {GENRE_BEST_STALEMATE, "最善ステイルメイト"},
    {GENRE_WORST_SELF_STALEMATE, "最悪自玉ステイルメイト"},
    {GENRE_BEST_SELF_STALEMATE, "最善自玉ステイルメイト"},
    {GENRE_BEST_WIN, "最善勝"},
};

struct NamedKind {
    string_view name;
    int kind;
};

// Diagram characters. "王" is the king as "玉" is, and "竜" is the dragon "龍".
constexpr string_view EMPTY_CHARACTER = "・";
constexpr string_view WALL_CHARACTER = "●";
constexpr NamedKind DIAGRAM_CHARACTERS[] = {
    {"歩", PAWN},
    {"香", LANCE},
    {"桂", KNIGHT},
    {"銀", SILVER},
    {"金", GOLD},
    {"角", BISHOP},
    {"飛", ROOK},
    {"玉", KING},
    {"王", KING},
    {"と", PAWN + PROMOTED},
    {"杏", LANCE + PROMOTED},
    {"圭", KNIGHT + PROMOTED},
    {"全", SILVER + PROMOTED},
    {"馬", HORSE},
    {"龍", DRAGON},
    {"竜", DRAGON},
};

// Pieces in hand, in the order a hand token is matched.
constexpr NamedKind HAND_PIECES[] = {
    {"飛", ROOK}, {"角", BISHOP}, {"金", GOLD}, {"銀", SILVER}, {"桂", KNIGHT}, {"香", LANCE}, {"歩", PAWN},
};

// Piece names in a move line, tried in the diagram's order; the last one present names the piece.
constexpr const auto& MOVE_PIECES = DIAGRAM_CHARACTERS;
// Written-out promoted pieces, which hold the name of the unpromoted piece as well.
constexpr NamedKind PROMOTED_MOVE_PIECES[] = {
    {"成香", LANCE + PROMOTED}, {"成桂", KNIGHT + PROMOTED}, {"成銀", SILVER + PROMOTED}};
constexpr string_view SAME_SQUARE = "同";
constexpr string_view PROMOTES = "成(";

constexpr int TEN = 10;
constexpr int KANJI_TEN = 10;  // index of "十" among the kanji numerals

bool contains(string_view line, string_view key) {
    return line.find(key) != string_view::npos;
}

// The text after the first occurrence of `key`, untrimmed; nothing when the line lacks the key.
std::optional<string_view> restAfter(string_view line, string_view key) {
    size_t at = line.find(key);
    if (at == string_view::npos) return std::nullopt;
    return line.substr(at + key.size());
}

bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// A leading decimal integer: white space skipped, an optional sign, then digits up to the first
// other byte. Values far outside 32 bits stop growing, so they stay out of range without overflow.
struct Decimal {
    int64_t value = 0;
    bool hasDigits = false;
};
constexpr int64_t DECIMAL_CEILING = int64_t{1} << 40;

Decimal leadingDecimal(string_view text) {
    size_t i = 0;
    while (i < text.size() && isAsciiSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    Decimal d;
    for (; i < text.size() && isAsciiDigit(text[i]); ++i) {
        d.hasDigits = true;
        if (d.value < DECIMAL_CEILING) d.value = d.value * TEN + (text[i] - '0');
    }
    if (negative) d.value = -d.value;
    return d;
}

// The leading decimal integer of `text` as the file writes it, whatever its size: "-" for a negative
// value, then the digits without leading zeros; "0" when there are no digits.
std::string decimalAsWritten(string_view text) {
    size_t i = 0;
    while (i < text.size() && isAsciiSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    while (i + 1 < text.size() && text[i] == '0' && isAsciiDigit(text[i + 1])) ++i;
    size_t end = i;
    while (end < text.size() && isAsciiDigit(text[end])) ++end;
    if (end == i || text.substr(i, end - i) == "0") return "0";
    std::string written = negative ? "-" : "";
    written += text.substr(i, end - i);
    return written;
}

// A 16-bit field keeps the nearest value it can hold, so that 65537 plies cannot pass for 1.
int16_t toInt16(int64_t value) {
    constexpr int64_t LOW = std::numeric_limits<int16_t>::min();
    constexpr int64_t HIGH = std::numeric_limits<int16_t>::max();
    return static_cast<int16_t>(value < LOW ? LOW : value > HIGH ? HIGH : value);
}

bool fitsInt32(int64_t value) {
    return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}

// The value of a kanji numeral 一..十, 0 for anything else.
int kanjiValue(string_view character) {
    for (int v = 1; v <= KANJI_TEN; ++v)
        if (character == KANJI_NUMERAL[v]) return v;
    return 0;
}

std::string fileAndRankName(int file, int rank) {
    return std::string(FULLWIDTH_DIGIT[file]) + KANJI_NUMERAL[rank];
}

// The file's bytes, at most MAX_PROBLEM_FILE_BYTES + 1 of them (enough to tell that a file is too
// large); nothing when it cannot be opened or read (a directory, say).
std::optional<std::string> readBoundedFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::string content;
    constexpr size_t CHUNK_BYTES = size_t{1} << 16;
    std::array<char, CHUNK_BYTES> chunk;
    size_t n;
    while (content.size() <= MAX_PROBLEM_FILE_BYTES &&
           (n = std::fread(chunk.data(), 1,
                           std::min(chunk.size(), MAX_PROBLEM_FILE_BYTES + 1 - content.size()), file)) > 0)
        content.append(chunk.data(), n);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return content;
}

// The lines of a text, one at a time, without their line ends; the last line needs none.
class LineCursor {
  public:
    explicit LineCursor(string_view text) : text_(text) {}
    bool atEnd() const { return next_ >= text_.size(); }
    // The next line, or an empty one past the end of the text.
    string_view take() {
        if (atEnd()) return {};
        size_t end = text_.find('\n', next_);
        if (end == string_view::npos) end = text_.size();
        string_view line = text_.substr(next_, end - next_);
        next_ = end + 1;
        // Files written on Windows end their lines with CR LF.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

  private:
    string_view text_;
    size_t next_ = 0;
};

ReadResult malformed(std::string message) {
    return {ReadStatus::MALFORMED, std::move(message) + "\n"};
}

ReadResult handCountFault(const std::string& offending) {
    return malformed("\n持駒数の指定が誤っています：" + offending);
}

class ProblemReader {
  public:
    ProblemReader(string_view text, Problem& problem)
        : lines_(text), record_(problem.record), rules_(problem.rules), options_(problem.options) {}

    ReadResult read() {
        while (!lines_.atEnd()) {
            if (std::optional<ReadResult> fault = readLine(lines_.take())) return *fault;
        }
        finish();
        return {};
    }

  private:
    std::optional<ReadResult> readLine(string_view line) {
        if (auto title = restAfter(line, KEY_TITLE); title && record_.heading.empty())
            record_.heading = *title;
        for (string_view key : {KEY_AUTHOR, KEY_PUBLICATION, KEY_DATE}) {
            if (auto rest = restAfter(line, key)) {
                if (!record_.heading.empty()) record_.heading += HEADING_SEPARATOR;
                record_.heading += *rest;
            }
        }
        if (auto rest = restAfter(line, KEY_LENGTH)) {
            record_.length = toInt16(leadingDecimal(*rest).value);
            record_.lengthText = decimalAsWritten(*rest);
        }
        if (auto rest = restAfter(line, KEY_CLASSIFICATION)) readClassification(*rest);
        if (contains(line, KEY_REMARKS)) {
            if (std::optional<ReadResult> fault = readRemarks(line)) return fault;
        }
        if (contains(line, KEY_HANDICAP)) record_.listFirstSide = contains(line, EVEN_GAME) ? SENTE : GOTE;
        if (contains(line, KEY_HAND)) {
            if (std::optional<ReadResult> fault = readDiagramBlock(line)) return fault;
        }
        if (contains(line, KEY_SECOND_MOVES_FIRST)) record_.listFirstSide = GOTE;
        if (contains(line, KEY_LOWER_MOVES_FIRST)) record_.listFirstSide = SENTE;
        if (contains(line, KEY_MOVE_LIST)) return readMoveList();
        return std::nullopt;
    }

    void readClassification(string_view rest) {
        record_.classification = rest;
        auto has = [rest](string_view keyword) { return contains(rest, keyword); };
        const NamedKind moveRules[] = {{"禁欲", MOVE_RULE_KINYOKU},
                                       {"強欲", MOVE_RULE_GOYOKU},
                                       {"マキシ", MOVE_RULE_MAXI},
                                       {"ミニ", MOVE_RULE_MINI},
                                       {"長駆", MOVE_RULE_CHOKU}};
        for (const NamedKind& rule : moveRules) {
            if (!has(rule.name)) continue;
            rules_.moveRule = rule.kind;
            record_.ruleName = rule.name;
            if (rule.kind == MOVE_RULE_KINYOKU) options_.handEconomy = false;
        }
        if (has("非連続王手") || has(NO_CHECK_NAME)) {
            rules_.checkRequired = false;
            record_.ruleName += NO_CHECK_NAME;
        }
        if (has(PAWN_DROP_NAME)) rules_.pawnDropMate = true;
        if (has("最善") || has("かしこ") || has("詰将棋")) play_ = PLAY_BEST;
        if (has("最悪")) play_ = PLAY_WORST;
        if (has("勝")) {
            goal_ = GOAL_EITHER;
            rules_.checkRequired = false;
        }
        if (has("ステイルメイト")) goal_ = GOAL_STALEMATE;
        if (has("詰")) goal_ = GOAL_MATE;
        int whoseKing = KING_DEFENDER;
        if (has("自殺") || has("自玉")) {
            whoseKing = KING_OWN;
            play_ = has("最悪") ? PLAY_WORST : PLAY_BEST;
        }

        int genre = goal_ + whoseKing + play_;
        record_.classification = DEFAULT_CLASSIFICATION;
        rules_.genre = GENRE_BEST_MATE;
        for (const GenreName& g : GENRE_NAMES) {
            if (g.genre != genre) continue;
            rules_.genre = genre;
            record_.classification = g.name;
        }
        if (rules_.genre == GENRE_BEST_MATE || rules_.genre == GENRE_BEST_WIN) options_.handEconomy = true;
        // A stalemate cannot be reached through checks alone.
        if (rules_.genre == GENRE_BEST_STALEMATE && rules_.checkRequired) {
            rules_.checkRequired = false;
            record_.ruleName += NO_CHECK_NAME;
        }
    }

    // A depth after トレース or モニタ; none means 2.
    static int16_t depthAfter(string_view rest) {
        int16_t depth = toInt16(leadingDecimal(rest).value);
        return depth == 0 ? DEFAULT_MONITOR_DEPTH : depth;
    }

    std::optional<ReadResult> readRemarks(string_view line) {
        if (contains(line, "解図のみ")) options_.scope = SCOPE_SOLVE_ONLY;
        if (contains(line, "略式検討")) options_.scope = SCOPE_ABBREVIATED;
        if (auto rest = restAfter(line, "余詰検討")) {
            options_.cookCheck = true;
            int depth = toInt16(leadingDecimal(*rest).value);
            if (depth == 0) depth = NO_COOK_DEPTH_LIMIT;
            // An alternative mate is looked for only at the parity of the stated length.
            if (depth % 2 != record_.length % 2) --depth;
            options_.cookDepth = toInt16(depth);
        }
        if (contains(line, "持駒節約") && (rules_.genre & PLAY_BEST) != 0 &&
            (rules_.moveRule == MOVE_RULE_NONE || rules_.moveRule == MOVE_RULE_GOYOKU))
            options_.handEconomy = true;
        if (contains(line, "対称性検出")) options_.symmetry = true;
        if (auto rest = restAfter(line, "トレース")) {
            options_.traceOn = true;
            options_.monitorOn = true;
            options_.monitorDepth = depthAfter(*rest);
        }
        // The first "モニタ" may be part of "詳細モニタ" or "ハッシュモニタ"; either turns the monitor on.
        if (auto rest = restAfter(line, "モニタ")) {
            options_.detailedMonitor = contains(line, "詳細モニタ");
            options_.monitorOn = true;
            options_.monitorDepth = depthAfter(*rest);
        }
        if (std::optional<ReadResult> fault = readMemory(line)) return fault;
        if (contains(line, "ハッシュモニタ")) options_.hashMonitor = true;
        if (contains(line, "不詰出力")) options_.reportNoMate = true;
        return std::nullopt;
    }

    std::optional<ReadResult> readMemory(string_view line) {
        size_t start = string_view::npos;
        for (string_view key : {"メモリ", "memory", "MEMORY"}) {
            size_t at = line.find(key);
            if (at == string_view::npos) continue;
            start = at + key.size();
            break;
        }
        if (start == string_view::npos) return std::nullopt;
        struct Unit {
            string_view name;
            int32_t megabytes;
        };
        const Unit units[] = {
            {"GB", MEGABYTES_PER_GIGABYTE}, {"gb", MEGABYTES_PER_GIGABYTE}, {"MB", 1}, {"mb", 1}};
        for (const Unit& unit : units) {
            size_t at = line.find(unit.name);
            if (at == string_view::npos) continue;
            string_view text = at >= start ? line.substr(start, at - start) : line.substr(start);
            Decimal value = leadingDecimal(text);
            int64_t megabytes = value.value * unit.megabytes;
            if (!value.hasDigits || !fitsInt32(value.value) || !fitsInt32(megabytes))
                return malformed("備考のメモリ指定が誤っています：" + std::string(text));
            options_.memoryMB = static_cast<int32_t>(megabytes);
            break;
        }
        return std::nullopt;
    }

    // The line after the current one, or an empty one past the end of the file.
    string_view takeLine() { return lines_.take(); }

    std::optional<ReadResult> readDiagramBlock(string_view secondHandLine) {
        if (auto bad = parseHand(secondHandLine, GOTE, record_.handCounts)) return handCountFault(*bad);
        for (int i = 0; i < LINES_BEFORE_RANKS; ++i) takeLine();
        for (int rank = 1; rank <= RANK_COUNT; ++rank) {
            string_view row = takeLine();
            if (row.size() < ROW_BYTES)
                return malformed("盤面の" + std::string(KANJI_NUMERAL[rank]) + "段目の行が短すぎます");
            for (int column = 0; column < FILE_COUNT; ++column) {
                char mark = row[1 + CELL_BYTES * column];
                string_view character = row.substr(2 + CELL_BYTES * column, CHARACTER_BYTES);
                std::optional<uint8_t> code = cellCode(mark, character);
                if (!code) {
                    return malformed("盤面の" + fileAndRankName(FILE_COUNT - column, rank) +
                                     "に読めない文字があります：「" + std::string(character) + "」");
                }
                record_.diagram[(rank - 1) * FILE_COUNT + column] = *code;
            }
        }
        takeLine();  // bottom border
        string_view firstHandLine = takeLine();
        if (contains(firstHandLine, KEY_HAND)) {
            if (auto bad = parseHand(firstHandLine, SENTE, record_.handCounts)) return handCountFault(*bad);
        }
        return std::nullopt;
    }

    static std::optional<uint8_t> cellCode(char mark, string_view character) {
        if (character == EMPTY_CHARACTER) return EMPTY;
        if (character == WALL_CHARACTER) return WALL;
        Side side = mark == SECOND_PLAYER_MARK ? GOTE : SENTE;
        for (const NamedKind& piece : DIAGRAM_CHARACTERS)
            if (character == piece.name) return static_cast<uint8_t>(side + piece.kind);
        return std::nullopt;
    }

    std::optional<ReadResult> readMoveList() {
        uint8_t lastDestination = 0;
        Side side = record_.listFirstSide;
        while (!lines_.atEnd()) {
            string_view line = lines_.take();
            if (line.empty()) break;
            char first = line.front();
            if (first == '*') continue;  // a comment
            if (first != ' ' && !(first >= '1' && first <= '9')) continue;
            if (std::optional<Move> move = parseListMove(line, side, lastDestination)) {
                // A line without an origin is a drop: of a piece in hand, which is never promoted
                // and never a king, and which does not promote as it is dropped.
                if (move->isDrop() && (kindOf(move->piece) > ROOK || move->promote != 0))
                    return malformed("指手に打てない駒を打つ手があります：" + std::string(line));
                record_.inputLine.push_back(*move);
            }
            side = opponent(side);
        }
        return std::nullopt;
    }

    void finish() {
        if (record_.classification.empty()) {
            record_.classification = DEFAULT_CLASSIFICATION;
            rules_.genre = GENRE_BEST_MATE;
            options_.handEconomy = true;
        }
        if (rules_.pawnDropMate) record_.ruleName = std::string(PAWN_DROP_NAME) + record_.ruleName;
    }

    LineCursor lines_;
    ProblemRecord& record_;
    RuleSet& rules_;
    SolveOptions& options_;
    // The play and the goal carry over from one classification line to the next.
    int play_ = PLAY_BEST;
    int goal_ = GOAL_MATE;
};

}  // namespace

ReadResult readProblem(const std::string& path, Problem& problem) {
    std::optional<std::string> content = readBoundedFile(path);
    if (!content) return {ReadStatus::CANNOT_OPEN, {}};
    if (content->size() > MAX_PROBLEM_FILE_BYTES)
        return malformed("問題ファイルが大きすぎます（" + std::to_string(MAX_PROBLEM_FILE_MEGABYTES) +
                         "MBまで）");
    return readProblemText(*content, problem);
}

ReadResult readProblemText(string_view text, Problem& problem) {
    return ProblemReader(text, problem).read();
}

KanjiCount parseKanjiCount(string_view text) {
    constexpr size_t ONE = CHARACTER_BYTES, TWO = 2 * CHARACTER_BYTES, THREE = 3 * CHARACTER_BYTES;
    const string_view ten = KANJI_NUMERAL[KANJI_TEN];
    auto digitAt = [text](size_t offset) { return text.substr(offset, CHARACTER_BYTES); };
    // A numeral 一..九 where one must stand, or the character that is not one.
    auto unit = [&](size_t offset, int& value) {
        value = kanjiValue(digitAt(offset));
        return value >= 1 && value < KANJI_TEN;
    };
    KanjiCount count;
    int x = 0, y = 0;
    switch (text.size()) {
        case ONE:
            count.value = kanjiValue(text);
            if (count.value == 0) count.offending = text;
            break;
        case TWO:
            if (digitAt(0) == ten && digitAt(ONE) == ten) {
                count.offending = text;
            } else if (digitAt(0) == ten) {
                if (unit(ONE, y))
                    count.value = TEN + y;
                else
                    count.offending = digitAt(ONE);
            } else if (digitAt(ONE) == ten) {
                if (unit(0, x))
                    count.value = x * TEN;
                else
                    count.offending = digitAt(0);
            } else {
                count.offending = text;
            }
            break;
        case THREE:
            if (digitAt(ONE) != ten || digitAt(0) == ten || digitAt(TWO) == ten) {
                count.offending = text;
            } else if (!unit(0, x)) {
                count.offending = digitAt(0);
            } else if (!unit(TWO, y)) {
                count.offending = digitAt(TWO);
            } else {
                count.value = x * TEN + y;
            }
            break;
        default:  // no count, or no form of one: a single piece
            count.value = 1;
            break;
    }
    return count;
}

std::optional<std::string> parseHand(string_view line, Side side, std::array<int32_t, 40>& handCounts) {
    std::optional<string_view> text = restAfter(line, KEY_HAND);
    if (!text) return std::nullopt;
    // Pieces are separated by full-width spaces; ASCII spaces separate them too, as in the hands the
    // diagram printer writes ("金2 歩 "). The scan steps over whole characters, so the second byte of
    // a kanji is never taken for the start of a separator.
    std::vector<string_view> tokens;
    size_t start = 0, i = 0;
    while (i < text->size()) {
        size_t separator = 0;
        if ((*text)[i] == ' ')
            separator = 1;
        else if (text->substr(i, FULLWIDTH_SPACE.size()) == FULLWIDTH_SPACE)
            separator = FULLWIDTH_SPACE.size();
        if (separator > 0) {
            tokens.push_back(text->substr(start, i - start));
            i += separator;
            start = i;
        } else {
            i += platform::isShiftJisLeadByte(static_cast<unsigned char>((*text)[i])) ? CHARACTER_BYTES : 1;
        }
    }
    if (start < text->size()) tokens.push_back(text->substr(start));
    for (string_view token : tokens) {
        if (token.size() < CHARACTER_BYTES) continue;
        for (const NamedKind& piece : HAND_PIECES) {
            if (token.substr(0, CHARACTER_BYTES) != piece.name) continue;
            KanjiCount count = parseKanjiCount(token.substr(CHARACTER_BYTES));
            if (!count.ok()) return std::string(count.offending);
            handCounts[side + piece.kind] = count.value;
            break;
        }
    }
    return std::nullopt;
}

std::optional<Move> parseListMove(string_view line, Side side, uint8_t& lastDestination) {
    // Destination: the file is the largest full-width digit, the rank the sum of the distinct kanji
    // numerals (one of each in a well-formed line).
    int file = 0;
    for (int f = FILE_COUNT; f >= 1 && file == 0; --f)
        if (contains(line, FULLWIDTH_DIGIT[f])) file = f;
    int rank = 0;
    for (int r = 1; r <= RANK_COUNT; ++r)
        if (contains(line, KANJI_NUMERAL[r])) rank += r;
    int destination = makeSquare(file, rank);
    if (contains(line, SAME_SQUARE))
        destination = lastDestination;
    else
        lastDestination = static_cast<uint8_t>(destination);

    int kind = 0;
    for (const NamedKind& piece : MOVE_PIECES)
        if (contains(line, piece.name)) kind = piece.kind;
    for (const NamedKind& piece : PROMOTED_MOVE_PIECES) {
        if (!contains(line, piece.name)) continue;
        kind = piece.kind;
        break;
    }
    int code = kind == 0 ? 0 : side + kind;

    // Origin: "(FR)" right after the move; a "(" not closed three bytes on belongs to something else,
    // such as the time, and the move is a drop.
    int origin = 0;
    constexpr size_t CLOSING_OFFSET = 3;
    size_t open = line.find('(');
    if (open != string_view::npos && open + CLOSING_OFFSET < line.size() &&
        line[open + CLOSING_OFFSET] == ')') {
        char f = line[open + 1], r = line[open + 2];
        if (!isAsciiDigit(f) || !isAsciiDigit(r)) return std::nullopt;
        origin = makeSquare(f - '0', r - '0');
    }
    bool promote = contains(line, PROMOTES);

    constexpr int FIRST_PIECE_CODE = SENTE + PAWN;
    constexpr int LAST_PIECE_CODE = GOTE + DRAGON;
    if ((origin != 0 && !isPlayable(origin)) || !isPlayable(destination)) return std::nullopt;
    if (code < FIRST_PIECE_CODE || code > LAST_PIECE_CODE) return std::nullopt;
    return Move{static_cast<uint8_t>(origin), static_cast<uint8_t>(destination), static_cast<uint8_t>(code),
                static_cast<uint8_t>(promote ? 1 : 0)};
}

}  // namespace nagare
