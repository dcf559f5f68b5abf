#include "cli/Console.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lumacrest::cli {

namespace {
constexpr int kOut = 1;
constexpr int kErr = 2;
constexpr int kBarWidth = 30;

std::string Bar(int position) {
    const int p = std::clamp(position, 0, 100);
    const int filled = p * kBarWidth / 100;
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
    std::string percent = std::to_string(p) + "%";
    return bar + std::string(4 - std::min<std::size_t>(4, percent.size()), ' ') + percent;
}
}  // namespace

class Console::Station : public MainModelObserver {
public:
    Station(Console& console, std::size_t index, std::string prefix)
        : prefix(std::move(prefix)), console_(console), index_(index) {}
    void LogAppended(const std::string& appended, bool cleared) override {
        console_.Piece(index_, appended, cleared);
    }
    void ProgressChanged(int position) override { console_.Progress(index_, position); }

    std::string prefix;
    std::string open;       // the log line not ended yet
    bool hasOpen = false;
    bool endsWithNewline = true;  // what the last piece written as it came ended with
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

MainModelObserver& Console::Observer(std::size_t i) {
    return *stations_.at(i);
}

void Console::Write(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void Console::EraseArea() {
    if (areaLines_ == 0) return;
    std::string erase = "\r";
    if (areaLines_ > 1) erase += "\033[" + std::to_string(areaLines_ - 1) + "A";
    erase += "\033[J";
    Write(inlineBars_ ? kOut : kErr, erase);
    areaLines_ = 0;
}

void Console::DrawArea() {
    if (!bars_) return;
    std::string area;
    std::size_t lines = 0;
    for (const auto& s : stations_) {
        std::string line;
        if (inlineBars_ && s->hasOpen) line = s->prefix + s->open;
        if (s->progress >= 0) line += (line.empty() ? s->prefix : std::string(" ")) + Bar(s->progress);
        if (line.empty()) continue;
        area += (lines++ ? "\n" : "") + line;
    }
    if (lines == 0) return;
    Write(inlineBars_ ? kOut : kErr, area);
    areaLines_ = lines;
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
        Write(kOut, piece);
        if (!piece.empty()) s.endsWithNewline = piece.back() == '\n';
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
    EraseArea();
    DrawArea();
}

void Console::Message(std::size_t i, const std::string& text) {
    if (quiet_) return;
    const std::string prefix = stations_.at(i)->prefix;
    EraseArea();
    // A message starts on a line of its own, also where it shares one stream with a log line
    // that is still open.
    const Station& s = *stations_[i];
    const bool openOnSameStream = !lineMode_ && !inlineBars_ && streams_.same && s.hasOpen &&
                                  !s.open.empty();
    Write(kErr, (openOnSameStream ? "\n" : "") + prefix + text + "\n");
    DrawArea();
}

void Console::Print(const std::string& text) {
    EraseArea();
    Write(kOut, text);
    DrawArea();
}

void Console::Error(const std::string& text) {
    EraseArea();
    Write(kErr, text);
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
