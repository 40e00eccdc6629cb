// Fuzz target: the client's decoding of the simulator's frames (readHead, decodeMessage) over a stream
// of frames. A frame either decodes or throws WireError; a decoded message encodes to a frame that
// decodes and encodes again to the same bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/simconnect/wire.h"
#include "tests/fuzz/fuzz_support.h"

namespace wire = skyloom::simwire;

namespace {

// The frame of a decoded message re-encoded, decoded and encoded again.
void lf_checkRoundTrip(const SIMCONNECT_RECV& message) {
    std::string first;
    wire::encodeMessage(first, message);
    fuzz_support::require(first.size() >= wire::kHeadSize);
    const auto head = wire::readHead(first.data());
    fuzz_support::require(head.bodyLength == first.size() - wire::kHeadSize);
    std::vector<std::uint64_t> storage;
    const SIMCONNECT_RECV* again =
        wire::decodeMessage(head.kind, first.data() + wire::kHeadSize, head.bodyLength, storage);
    std::string second;
    wire::encodeMessage(second, *again);
    fuzz_support::require(first == second);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* p = reinterpret_cast<const char*>(data);
    std::size_t left = size;
    std::vector<std::uint64_t> storage;
    while (left >= wire::kHeadSize) {
        wire::FrameHead head{};
        try {
            head = wire::readHead(p);
        } catch (const wire::WireError&) {
            return 0; // the client drops the connection
        }
        if (left - wire::kHeadSize < head.bodyLength) return 0;
        // A copy of exactly the body, so that a read past it shows.
        const std::vector<char> body(p + wire::kHeadSize, p + wire::kHeadSize + head.bodyLength);
        try {
            const SIMCONNECT_RECV* message =
                wire::decodeMessage(head.kind, body.empty() ? nullptr : body.data(), body.size(), storage);
            fuzz_support::require(message != nullptr);
            lf_checkRoundTrip(*message);
        } catch (const wire::WireError&) {
        }
        p += wire::kHeadSize + head.bodyLength;
        left -= wire::kHeadSize + head.bodyLength;
    }
    return 0;
}
