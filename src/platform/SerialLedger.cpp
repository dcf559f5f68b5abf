#include "platform/SerialLedger.h"

namespace lumacrest {

const char* SerialStateName(SerialState state) {
    switch (state) {
        case SerialState::Reserved: return "reserved";
        case SerialState::Programmed: return "programmed";
        case SerialState::GivenBack: return "given back";
        case SerialState::Failed: return "failed";
        case SerialState::Unknown: return "unknown";
    }
    return "unknown";
}

std::optional<SerialState> SerialStateFromName(const std::string& name) {
    for (SerialState s : {SerialState::Reserved, SerialState::Programmed, SerialState::GivenBack,
                          SerialState::Failed, SerialState::Unknown})
        if (name == SerialStateName(s)) return s;
    return std::nullopt;
}

}  // namespace lumacrest
