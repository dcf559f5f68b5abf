#include "cli/Serials.h"

#include <cstdio>

#include "host/RunRecords.h"

namespace lumacrest::cli {

namespace {

std::string Column(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + "  ";
}

std::string Nothing(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

std::string SerialsText(const SerialListing& l, const std::string& where, const SerialQuery& q) {
    std::string t = "Serial-number ledger: " + where + "\n";
    t += l.range ? "Range: " + std::to_string(l.range->from) + "-" + std::to_string(l.range->to) + ", " +
                       std::to_string(l.left) + " numbers left\n"
                 : std::string("Range: none\n");
    t += "Next free number from " + std::to_string(q.asked) + ": " +
         (l.next ? std::to_string(*l.next) : std::string("none (outside the range, or used up)")) + "\n";
    if (l.rows.empty()) return t + (q.number ? "Number " + std::to_string(*q.number) + " was never issued\n"
                                             : std::string("No number issued yet\n"));
    t += Column("NUMBER", 10) + Column("STATUS", 10) + Column("ISSUED", 19) + Column("PORT", 6) +
         Column("PROGRAMMER", 14) + Column("MCU", 16) + "RUN\n";
    for (const SerialRow& r : l.rows)
        t += Column(std::to_string(r.number), 10) + Column(SerialStateName(r.state), 10) + Column(r.issued, 19) +
             Column(Nothing(r.issue.port), 6) + Column(Nothing(r.issue.programmer), 14) +
             Column(Nothing(r.issue.mcu), 16) + Nothing(r.issue.runId) + "\n";
    return t;
}

std::string SerialsJson(const SerialListing& l, const std::string& where, const SerialQuery& q) {
    std::string j = "{\"ledger\":" + Quoted(where);
    j += ",\"range\":" + (l.range ? "{\"from\":" + std::to_string(l.range->from) + ",\"to\":" +
                                        std::to_string(l.range->to) + ",\"left\":" + std::to_string(l.left) + "}"
                                  : std::string("null"));
    j += ",\"asked\":" + std::to_string(q.asked);
    j += ",\"next\":" + (l.next ? std::to_string(*l.next) : std::string("null"));
    j += ",\"rows\":[";
    for (std::size_t i = 0; i < l.rows.size(); ++i) {
        const SerialRow& r = l.rows[i];
        if (i) j += ",";
        j += "{\"number\":" + std::to_string(r.number) + ",\"status\":" + Quoted(SerialStateName(r.state)) +
             ",\"issued\":" + Quoted(r.issued) + ",\"marked\":" + (r.marked.empty() ? "null" : Quoted(r.marked)) +
             ",\"port\":" + Quoted(r.issue.port) + ",\"device\":" + Quoted(r.issue.device) +
             ",\"programmer\":" + Quoted(r.issue.programmer) + ",\"mcu\":" + Quoted(r.issue.mcu) +
             ",\"flash_checksum\":" + Quoted(r.issue.flashChecksum) +
             ",\"boot_checksum\":" + Quoted(r.issue.bootChecksum) + ",\"run_id\":" + Quoted(r.issue.runId) + "}";
    }
    return j + "]}\n";
}

}  // namespace lumacrest::cli
