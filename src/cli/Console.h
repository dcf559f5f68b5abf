// Where lumacrest-cli writes. The log goes to stdout line for line as the window shows it
// (each line behind its port when several programmers run at once), messages to stderr, and on
// a terminal a progress bar a port. A bar never hides or overwrites a log line: on a terminal
// shared with the log it stands behind the open line of its port; a message always starts on
// a line of its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/HostEvents.h"

namespace lumacrest::cli {

class Console {
public:
    // `prefixes` holds a port name for each programmer when several run ("[COM3] " then goes in
    // front of their lines), or one empty name. `quiet`: no log, no bars, no messages.
    Console(std::vector<std::string> prefixes, bool quiet);
    ~Console();

    // The observer that shows what programmer `i`'s host reports: its messages, and its log
    // and progress unless `withLog` is false.
    HostEvents& Observer(std::size_t i, bool withLog = true);
    // A message to the operator of programmer `i`.
    void Message(std::size_t i, const std::string& text);
    // Text for stdout after the log (outcome lines, the table), and for stderr.
    void Print(const std::string& text);
    void Error(const std::string& text);
    // Ends the open lines and takes the bars away.
    void Finish();
    // Why text for stdout could not all be written (a full disk, a closed file), or empty.
    const std::string& OutputLost() const { return outputLost_; }

    // How the two streams were found (for tests of the rules).
    struct Streams {
        bool outTerminal = false;
        bool errTerminal = false;
        bool same = false;  // stdout and stderr reach the same file or terminal
    };
    static Streams Probe();

private:
    class Station;
    void Piece(std::size_t i, const std::string& piece, bool cleared);
    void Progress(std::size_t i, int position);
    void EraseArea();
    void DrawArea();
    std::string AreaText(std::size_t& lines) const;
    void Write(int fd, const std::string& text);

    Streams streams_;
    bool quiet_;
    bool lineMode_;     // several programmers: whole lines, behind their port
    bool bars_;         // progress bars on stderr's terminal
    bool inlineBars_;   // the bars stand behind the open log lines (one terminal for both)
    std::vector<std::unique_ptr<Station>> stations_;
    std::size_t areaLines_ = 0;
    std::string drawn_;  // what the area shows while areaLines_ > 0
    std::string outputLost_;
};

}  // namespace lumacrest::cli
