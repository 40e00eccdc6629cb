#include "tools/datapack/datapack.h"

#include "refdata/data_key.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace datapack {

namespace {

constexpr std::size_t plainChunk = refdata::dataFileChunkBytes;
constexpr std::size_t cipherChunk = plainChunk + crypto_secretstream_xchacha20poly1305_ABYTES;

void writeChunk(crypto_secretstream_xchacha20poly1305_state& state, std::ofstream& out,
                const std::uint8_t* plain, std::size_t length, std::uint8_t tag) {
    std::array<std::uint8_t, cipherChunk> cipher{};
    unsigned long long cipherLength = 0;
    if (crypto_secretstream_xchacha20poly1305_push(&state, cipher.data(), &cipherLength, plain, length,
                                                   nullptr, 0, tag) != 0)
        throw std::runtime_error("Encryption failed");
    out.write(reinterpret_cast<const char*>(cipher.data()), static_cast<std::streamsize>(cipherLength));
}

} // namespace

void encryptFile(std::span<const std::uint8_t, 32> key, const std::filesystem::path& in,
                 const std::filesystem::path& out, const EncryptOptions& options) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");

    std::ifstream input(in, std::ios::binary);
    if (!input) throw std::runtime_error("Could not open input file: " + in.string());
    const std::vector<std::uint8_t> plain{std::istreambuf_iterator<char>(input),
                                          std::istreambuf_iterator<char>()};
    if (input.bad()) throw std::runtime_error("Could not read input file: " + in.string());

    std::ofstream output(out, std::ios::binary | std::ios::trunc);
    if (!output) throw std::runtime_error("Could not open output file: " + out.string());

    crypto_secretstream_xchacha20poly1305_state state;
    std::array<std::uint8_t, crypto_secretstream_xchacha20poly1305_HEADERBYTES> header{};
    crypto_secretstream_xchacha20poly1305_init_push(&state, header.data(), key.data());
    output.write(reinterpret_cast<const char*>(header.data()), header.size());

    const auto finalTag = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    const auto messageTag = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    const bool separateFinal =
        options.finalTag && options.separateFinalChunk && plain.size() % plainChunk == 0;
    std::size_t offset = 0;
    while (offset < plain.size()) {
        const std::size_t length = std::min(plainChunk, plain.size() - offset);
        const bool last = offset + length == plain.size();
        const bool tagFinal = last && options.finalTag && !separateFinal;
        writeChunk(state, output, plain.data() + offset, length, tagFinal ? finalTag : messageTag);
        offset += length;
    }
    // An empty input is one empty chunk; a separate FINAL chunk carries no data.
    if (plain.empty() || separateFinal)
        writeChunk(state, output, nullptr, 0, options.finalTag ? finalTag : messageTag);

    output.flush();
    if (!output) throw std::runtime_error("Could not write output file: " + out.string());
}

void encryptDataFile(const std::filesystem::path& in, const std::filesystem::path& out,
                     const EncryptOptions& options) {
    encryptFile(refdata::dataFileKey, in, out, options);
}

} // namespace datapack
