// Fuzz target: the stand-in's decoding of a client's request stream, through its own frame handling.
// Any stream is handled or refused with exceptions; what it answers is a stream of whole frames.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/simconnect/wire.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/simstub/simstub.h"

namespace wire = skyloom::simwire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    skyloom::simstub::SimStub stub(skyloom::simstub::Options{});
    const std::string out = stub.handleStreamForTests(fuzz_support::text(data, size));
    std::size_t pos = 0;
    while (pos < out.size()) {
        fuzz_support::require(out.size() - pos >= wire::kHeadSize);
        const auto head = wire::readHead(out.data() + pos);
        fuzz_support::require(out.size() - pos - wire::kHeadSize >= head.bodyLength);
        pos += wire::kHeadSize + head.bodyLength;
    }
    return 0;
}
