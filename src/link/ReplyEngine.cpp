#include "link/ReplyEngine.h"

#include "link/Discovery.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

ReplyHandler ReplyRowFor(uint8_t code) {
    switch (code) {
        case CMD_IDENTIFY:
            return &OnIdentifyReply;
        default:
            return nullptr;
    }
}

bool IsProgrammerInitiated(uint8_t code) {
    return code == CMD_DATAFLASH_BEGIN || code == CMD_DATAFLASH_CONFIG || code == CMD_SECTOR_SUM;
}

bool EngineActsOn(const Host& h, const ReplyFrame& reply) {
    if (ReplyRowFor(reply.code) == nullptr) return false;
    if (h.scanState == 1)
        return reply.code == CMD_IDENTIFY && h.lastCode == CMD_IDENTIFY && h.answerPending;
    return (reply.code == h.lastCode && h.answerPending) || IsProgrammerInitiated(reply.code);
}

void HandleReply(Host& h, const ReplyFrame& reply) {
    if (ReplyHandler handler = ReplyRowFor(reply.code)) handler(h, reply);
}

void Idle(Host& h) {
    h.ui.EnableOperationControls();
}

void Rollback(Host& h) {
    if (h.autoSequence && h.ui.Checked(id::ProgramSn)) h.SnValue -= h.SnAdvance;
}

}  // namespace lumacrest
