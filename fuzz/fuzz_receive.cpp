// The receive path: a byte stream from the programmer, cut at random into reads, while a
// command's reply is awaited. The first byte picks the command awaited; each later chunk is
// a length byte followed by that many received bytes. Whatever arrives, the receive buffer
// stays within bounds and the engine survives it.
#include <deque>

#include "FuzzSupport.h"
#include "image/DeviceCatalogue.h"
#include "link/Link.h"
#include "platform/SerialPort.h"
#include "platform/Timers.h"

using namespace lumacrest;

namespace {

class ChunkPort : public SerialPort {
  public:
    bool Probe(const std::string&) override { return true; }
    bool Open(const std::string&) override { return open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    void SetThreshold(std::size_t) override {}
    void DiscardInput() override { pending.clear(); }
    void Write(const uint8_t*, std::size_t size) override { written += size; }
    std::vector<uint8_t> ReadAll() override {
        std::vector<uint8_t> out;
        out.swap(pending);
        return out;
    }
    std::size_t BufferedCount() const override { return pending.size(); }

    std::vector<uint8_t> pending;
    std::size_t written = 0;

  private:
    bool open_ = true;
};

class NoTimers : public Timers {
  public:
    void Start(int, uint32_t) override {}
    void Stop(int) override {}
    void PumpEvents() override {}
    void DelayMicroseconds(uint64_t) override {}
};

struct Fixture {
    ScriptedPrompts prompts;
    RecordingShell shell;
    ChunkPort port;
    NoTimers timers;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    if (size < 1) return 0;
    Host host;
    host.platform.prompts = &f.prompts;
    host.platform.shell = &f.shell;
    host.platform.serial = &f.port;
    host.platform.timers = &f.timers;
    host.programDir = fuzz::ScratchDir();
    SetPageGeometry(host, 256, 288, 256, 16);
    f.port.pending.clear();
    host.lastCode = data[0];
    host.replyAwaited = 1;
    host.answerPending = true;
    std::size_t at = 1;
    while (at < size) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        f.port.pending.assign(data + at + 1, data + at + 1 + n);
        at += 1 + n;
        OnCommEvent(host);
        if (host.rxCount > kReceiveBufferSize) std::abort();
        if (host.replyAwaited == 0) host.replyAwaited = 1;  // keep listening
    }
    f.prompts.messages.clear();
    return 0;
}
