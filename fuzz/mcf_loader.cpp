// Loads arbitrary bytes as a modem channel's .mcf file; see channel_file_harness.h for what
// must hold.
#include "channels/doc_modem.h"
#include "fuzz/channel_file_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tolvan::fuzzing::LoadChannelFile<tolvan::CDocModem>(data, size);
}
