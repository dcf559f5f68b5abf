#include "cli/Console.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lumacrest::cli {

namespace {
constexpr int kOut = 1;
constexpr int kErr = 2;
constexpr int kBarWidth = 30;

// The longest start of `line` that fits in `columns` - 1 columns (a character beyond ASCII
// counted as two, so that wide ones never wrap).
std::string FitTo(const std::string& line, std::size_t columns) {
    std::size_t width = 0;
    std::size_t end = 0;
    for (; end < line.size(); ++end) {
        const auto c = static_cast<unsigned char>(line[end]);
        const std::size_t w = c < 0x80 ? 1 : (c & 0xC0) == 0xC0 ? 2 : 0;
        if (width + w > columns - 1) break;
        width += w;
    }
    return line.substr(0, end);
}

std::string Bar(int position) {
    const int p = std::clamp(position, 0, 100);
    const int filled = p * kBarWidth / 100;
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
    std::string percent = std::to_string(p) + "%";
    return bar + std::string(4 - std::min<std::size_t>(4, percent.size()), ' ') + percent;
}
}  // namespace

class Console::Station : public HostEvents {
public:
    Station(Console& console, std::size_t index, std::string prefix)
        : prefix(std::move(prefix)), console_(console), index_(index) {}
    void LogAppended(const std::string& appended, bool cleared) override {
        if (showLog) console_.Piece(index_, appended, cleared);
    }
    void ProgressChanged(int position) override {
        if (showLog) console_.Progress(index_, position);
    }
    void Message(const std::string& text, MessageKind kind) override {
        (void)kind;
        console_.Message(index_, text);
    }

    bool showLog = true;
    std::string prefix;
    std::string open;       // the log line not ended yet
    bool hasOpen = false;
    bool endsWithNewline = true;  // what the last piece written as it came ended with
    bool brokenByMessage = false; // a message on the shared stream ended the open line
    int progress = -1;      // -1: no bar since the line began

private:
    Console& console_;
    std::size_t index_;
};

Console::Streams Console::Probe() {
    Streams s;
    s.outTerminal = ::isatty(kOut) != 0;
    s.errTerminal = ::isatty(kErr) != 0;
    struct stat out {}, err {};
    if (::fstat(kOut, &out) == 0 && ::fstat(kErr, &err) == 0)
        s.same = out.st_dev == err.st_dev && out.st_ino == err.st_ino;
    return s;
}

Console::Console(std::vector<std::string> prefixes, bool quiet)
    : streams_(Probe()),
      quiet_(quiet),
      lineMode_(prefixes.size() > 1),
      bars_(!quiet && streams_.errTerminal),
      inlineBars_(bars_ && streams_.outTerminal && streams_.same) {
    for (std::size_t i = 0; i < prefixes.size(); ++i) {
        std::string prefix = lineMode_ ? "[" + prefixes[i] + "] " : std::string();
        stations_.push_back(std::make_unique<Station>(*this, i, std::move(prefix)));
    }
}

Console::~Console() = default;

HostEvents& Console::Observer(std::size_t i, bool withLog) {
    stations_.at(i)->showLog = withLog;
    return *stations_.at(i);
}

void Console::Write(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (fd == kOut && outputLost_.empty())
                outputLost_ = n < 0 ? std::strerror(errno) : "nothing written";
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void Console::EraseArea() {
    if (areaLines_ == 0) return;
    // Line by line from the last one up: erasing to the end of the screen would make some
    // terminals keep the screen in their history first.
    std::string erase = "\r\033[K";
    for (std::size_t k = 1; k < areaLines_; ++k) erase += "\033[A\r\033[K";
    Write(inlineBars_ ? kOut : kErr, erase);
    areaLines_ = 0;
}

std::string Console::AreaText(std::size_t& lines) const {
    // Each line of the area stays on one row of the terminal, so that it can be erased.
    winsize size{};
    const std::size_t columns =
        ::ioctl(inlineBars_ ? kOut : kErr, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col
                                                                                      : 80;
    std::string area;
    lines = 0;
    for (const auto& s : stations_) {
        std::string line;
        if (inlineBars_ && s->hasOpen) line = s->prefix + s->open;
        if (s->progress >= 0) line += (line.empty() ? s->prefix : std::string(" ")) + Bar(s->progress);
        if (line.empty()) continue;
        area += (lines++ ? "\n" : "") + FitTo(line, columns);
    }
    return area;
}

void Console::DrawArea() {
    if (!bars_) return;
    std::size_t lines = 0;
    std::string area = AreaText(lines);
    if (lines == 0) return;
    Write(inlineBars_ ? kOut : kErr, area);
    areaLines_ = lines;
    drawn_ = std::move(area);
}

void Console::Piece(std::size_t i, const std::string& piece, bool /*cleared*/) {
    if (quiet_) return;
    Station& s = *stations_[i];
    // The window empties a long log; a terminal keeps it, so the text just goes on.
    std::string done;  // lines ended by this piece, as they are written
    std::string text = piece;
    if (!text.empty() && text[0] == '\n') {
        if (s.hasOpen) done = s.prefix + s.open + "\n";
        s.open.clear();
        s.progress = -1;
        text.erase(0, 1);
    }
    s.open += text;
    s.hasOpen = true;
    if (!lineMode_ && !inlineBars_) {
        // One programmer, the log not on the bars' terminal: every piece as it comes.
        // A message has just ended the open line on the shared stream: the line break that
        // starts the next log line is there already.
        const std::size_t skip = s.brokenByMessage && !piece.empty() && piece[0] == '\n' ? 1 : 0;
        if (!piece.empty()) s.brokenByMessage = false;
        Write(kOut, piece.substr(skip));
        if (piece.size() > skip) s.endsWithNewline = piece.back() == '\n';
        return;
    }
    if (inlineBars_) {
        EraseArea();
        Write(kOut, done);
        DrawArea();
    } else if (!done.empty()) {
        Write(kOut, done);
    }
}

void Console::Progress(std::size_t i, int position) {
    if (!bars_) return;
    stations_[i]->progress = position;
    std::size_t lines = 0;
    if (areaLines_ > 0 && AreaText(lines) == drawn_) return;  // the terminal shows it already
    EraseArea();
    DrawArea();
}

void Console::Message(std::size_t i, const std::string& text) {
    if (quiet_) return;
    Error(stations_.at(i)->prefix + text + "\n");
}

void Console::Print(const std::string& text) {
    EraseArea();
    Write(kOut, text);
    DrawArea();
}

void Console::Error(const std::string& text) {
    EraseArea();
    // Text on stderr starts on a line of its own, also where stderr is stdout and a log line
    // written as it came is still open there.
    const bool shared = streams_.same && !lineMode_ && !inlineBars_ && !text.empty();
    bool open = false;
    for (const auto& s : stations_) open = open || (s->hasOpen && !s->endsWithNewline);
    Write(kErr, (shared && open ? "\n" : "") + text);
    if (shared)
        for (auto& s : stations_) {
            s->brokenByMessage = s->brokenByMessage || !s->endsWithNewline;
            s->endsWithNewline = text.back() == '\n';
        }
    DrawArea();
}

void Console::Finish() {
    EraseArea();
    if (quiet_) return;
    for (const auto& s : stations_) {
        if (!s->hasOpen) continue;
        if (lineMode_ || inlineBars_)
            Write(kOut, s->prefix + s->open + "\n");
        else if (!s->endsWithNewline)
            Write(kOut, "\n");
        s->hasOpen = false;
        s->progress = -1;
    }
}

}  // namespace lumacrest::cli
