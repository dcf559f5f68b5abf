// What the harnesses share: a host with scripted prompts, a private scratch directory, and
// a snapshot of the state a refused input must leave unchanged.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/Host.h"
#include "image/DeviceCatalogue.h"
#include "support/ScriptedPrompts.h"

namespace lumacrest::fuzz {

// A directory of this process (in memory where /dev/shm exists), removed when it exits.
inline std::string ScratchDir() {
    struct Dir {
        std::string path;
        Dir() {
            const std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
            path = base + "/lumacrest-fuzz-" + std::to_string(::getpid()) + "/";
            std::error_code ec;
            std::filesystem::create_directories(path, ec);
            if (ec) std::abort();
        }
        ~Dir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Dir dir;
    return dir.path;
}

inline void WriteFile(const std::string& path, const uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    if (std::fclose(out) != 0) std::abort();
}

// Everything a load may change: a refused load must leave all of it as it was.
struct Snapshot {
    std::vector<uint8_t> flash, boot, keyCode;
    DeviceParams dev;
    uint32_t flashPages = 0, bootPages = 0, snValue = 0, snAddress = 0, snWidth = 0, checksum = 0;
    std::string flashPath, bootPath, keyPath, mcu;

    explicit Snapshot(const Host& h)
        : flash(h.target.buf().flash.begin(), h.target.buf().flash.end()),
          boot(h.target.buf().boot.begin(), h.target.buf().boot.end()),
          keyCode(h.target.buf().keyCode.begin(), h.target.buf().keyCode.end()),
          dev(h.target.dev),
          flashPages(h.target.FlashPagesToWrite),
          bootPages(h.target.BootPagesToWrite),
          snValue(h.sn.SnValue),
          snAddress(h.sn.SnAddress),
          snWidth(h.sn.SnWidth),
          checksum(h.target.BufferChecksum),
          flashPath(h.target.FlashFilePath),
          bootPath(h.target.BootFilePath),
          keyPath(h.target.KeyCodeFilePath),
          mcu(h.target.mcuName) {}

    bool Same(const Host& h) const {
        const Snapshot now(h);
        return flash == now.flash && boot == now.boot && keyCode == now.keyCode &&
               dev.FlashPageSize == now.dev.FlashPageSize &&
               dev.FlashPageCount == now.dev.FlashPageCount &&
               dev.BootPageSize == now.dev.BootPageSize &&
               dev.BootPageCount == now.dev.BootPageCount && dev.FlashSize == now.dev.FlashSize &&
               dev.BootSize == now.dev.BootSize && dev.AdapterText == now.dev.AdapterText &&
               dev.DeviceByte3 == now.dev.DeviceByte3 &&
               dev.BootAreaEnabled == now.dev.BootAreaEnabled && flashPages == now.flashPages &&
               bootPages == now.bootPages && snValue == now.snValue &&
               snAddress == now.snAddress && snWidth == now.snWidth &&
               checksum == now.checksum && flashPath == now.flashPath &&
               bootPath == now.bootPath && keyPath == now.keyPath && mcu == now.mcu;
    }
};

// A host kept for all runs: scripted prompts, the scratch directory as its program directory,
// and the largest geometry of the shipped parts.
struct HostFixture {
    ScriptedPrompts prompts;
    Host host;
    HostFixture() {
        host.platform.prompts = &prompts;
        host.programDir = ScratchDir();
        host.view.SetMcuItems({"MN101EF32D", "MN90F25XA"});
        host.view.SetPortItems({"COM1", "USB"});
        SetPageGeometry(host.target, 256, 288, 256, 16);
    }
};

// The log and the recorded messages grow with every run: keep them small.
inline void Trim(Host& h, ScriptedPrompts& prompts) {
    prompts.messages.clear();
    if (h.view.LogText().size() > 100000) h.view.ClearLog();
}

}  // namespace lumacrest::fuzz
