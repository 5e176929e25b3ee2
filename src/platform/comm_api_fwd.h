// The device layer by name only, for headers that pass it along: whoever
// calls into it includes platform/comm_api.h, and with it the Win32 types.
#pragma once

namespace cardpush::platform {

class CommApi;

// The running platform's implementation; lives for the whole process.
CommApi& SystemCommApi();

}  // namespace cardpush::platform
