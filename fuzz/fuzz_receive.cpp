// The receive path: a byte stream from the programmer, cut at random into reads, while a
// command's reply is awaited. The first byte picks the command awaited; each later chunk is
// a length byte followed by that many received bytes. Whatever arrives, the receive buffer
// stays within bounds and the engine survives it.
#include <deque>

#include "FuzzSupport.h"
#include "image/DeviceCatalogue.h"
#include "link/Link.h"
#include "ops/ReplyEngine.h"
#include "platform/SerialPort.h"
#include "platform/Timers.h"

using namespace lumacrest;

namespace {

class ChunkPort : public SerialPort {
  public:
    PortStatus Probe(const std::string&) override { return PortStatus::Fine(); }
    PortStatus Open(const std::string&) override {
        open_ = true;
        return PortStatus::Fine();
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool RequestLowLatency() override { return false; }
    void SetThreshold(std::size_t) override {}
    void DiscardInput() override { pending.clear(); }
    bool Write(const uint8_t*, std::size_t size) override {
        written += size;
        return true;
    }
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
    uint64_t NowMs() const override { return 0; }
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
    SetPageGeometry(host.target, 256, 288, 256, 16);
    AttachEngine(host.ops);
    host.link.Attach(f.port, f.timers);
    if (!f.port.Open("fuzz").Ok()) return 0;
    f.port.pending.clear();
    // The command whose reply is awaited.
    auto await = [&] { host.link.Send(Outgoing{data[0], 2, 1000, 26}); };
    await();
    std::size_t at = 1;
    while (at < size) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        f.port.pending.assign(data + at + 1, data + at + 1 + n);
        at += 1 + n;
        host.link.OnReceive();
        if (host.link.Gathered() > kReceiveBufferSize) std::abort();
        if (!host.link.ReplyAwaited()) await();  // keep listening
    }
    f.prompts.messages.clear();
    return 0;
}
