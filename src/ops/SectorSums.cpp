#include "ops/SectorSums.h"

#include "ops/Codec.h"
#include "ops/DeviceSteps.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

// The sums are over: the controls return; the port stays as it is.
void Finish(Ops& ops, const Conclusion& conclusion) {
    End(ops, conclusion, {.port = PortAfter::KeepOpen});
}

}  // namespace

void OnSectorSumRequest(Ops& ops, const ReplyFrame& reply) {
    // A request after the loader's done frame belongs to the loader run; one on its own is a
    // run of its own.
    if (!ops.run.Active()) BeginRun(ops, RunKind::SectorSums, Stage::SectorSums);
    ops.run.EnterStage(Stage::SectorSums);
    if (DecodeResult(reply).value_or(1) != 0) {
        ops.view.AppendLogRaw("Error");
        Finish(ops, Conclusion::Fail(Verdict::Failed, "the box reported an error in the sector sums"));
        return;
    }
    ops.run.NextSector();
    const uint8_t index = ops.run.SectorIndex();
    const std::vector<uint32_t>& sectors = ops.target.dev.SectorSizes;
    if (sectors.empty() || index >= sectors.size() - 1) {
        ops.view.AppendLogRaw("OK");
        Finish(ops, Conclusion::Pass());
        return;
    }
    // The sum for sector i covers that sector's own bytes: it starts where the sectors before
    // it end, whatever the transfer before left in the block cursor.
    uint64_t offset = 0;
    for (uint8_t k = 0; k < index; ++k) offset += sectors[k];
    const uint32_t size = sectors[index];
    if (offset + size > ops.target.dev.FlashSize || offset + size > kFlashBufferSize) {
        ops.view.AppendLogRaw("Error");
        // The device file's sector table does not fit its flash: name the sector.
        ops.view.AppendLog("Sector " + std::to_string(index) + " of the device file (" +
                           std::to_string(size) + " bytes) runs past the flash (" +
                           std::to_string(ops.target.dev.FlashSize) + " bytes)");
        Finish(ops, Conclusion::Fail(Verdict::Failed, "sector " + std::to_string(index) +
                                                          " lies beyond the flash"));
        return;
    }
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; ++i) sum += ops.target.buf().flash[offset + i];
    SendStep(ops, EncodeSectorSum(ops.link.Frame(), index, sum));
}

}  // namespace lumacrest
