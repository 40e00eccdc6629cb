#include "refdata/data_files.h"

#include "core/log.h"
#include "refdata/data_key.h"

#include <fmt/format.h>
#include <sodium.h>

#include <array>
#include <exception>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace {

constexpr std::size_t headerBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr std::size_t cipherChunkBytes =
    refdata::dataFileChunkBytes + crypto_secretstream_xchacha20poly1305_ABYTES;
static_assert(headerBytes == 24 && cipherChunkBytes == 4113);

// Only the last chunk of a container may be shorter than a full chunk, and nothing marks where it ends.
// When bytes follow a short FINAL chunk, the block just read holds that chunk and the first of those
// bytes, and fails as a whole. The chunk is then the one shorter length that authenticates with the
// FINAL tag; a failed attempt leaves the pull state unchanged. Any other outcome is a damaged block.
template <typename Pull>
bool lf_pullShortFinalChunk(Pull& pull, std::size_t blockLength, unsigned long long& plainLength,
                            unsigned char& tag) {
    for (std::size_t length = crypto_secretstream_xchacha20poly1305_ABYTES; length < blockLength; ++length)
        if (pull(length, plainLength, tag)) return tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    return false;
}

void lf_decryptStream(const std::array<std::uint8_t, 32>& key, const std::filesystem::path& in,
                      const std::filesystem::path& out) {
    std::ifstream input(in.string(), std::ios::binary);
    if (!input) throw std::runtime_error("Could not open input file: " + in.string());
    std::ofstream output(out.string(), std::ios::binary | std::ios::trunc);
    if (!output) throw std::runtime_error("Could not open output file: " + out.string());

    if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");

    std::array<std::uint8_t, headerBytes> header{};
    input.read(reinterpret_cast<char*>(header.data()), header.size());
    // A header cut short is a damaged or incomplete file, not an empty one.
    if (static_cast<std::size_t>(input.gcount()) != header.size())
        throw std::runtime_error("Incomplete header");

    crypto_secretstream_xchacha20poly1305_state state;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state, header.data(), key.data()) != 0)
        throw std::runtime_error("Invalid header or key");

    const auto cipher = std::make_unique<std::array<std::uint8_t, cipherChunkBytes>>();
    const auto plain = std::make_unique<std::array<std::uint8_t, refdata::dataFileChunkBytes>>();
    bool final = false;
    input.read(reinterpret_cast<char*>(cipher->data()), cipher->size());
    std::streamsize got = input.gcount();
    const auto pull = [&](std::size_t length, unsigned long long& plainLength, unsigned char& tag) {
        return crypto_secretstream_xchacha20poly1305_pull(&state, plain->data(), &plainLength, &tag,
                                                          cipher->data(), length, nullptr, 0) == 0;
    };
    while (got > 0) {
        unsigned long long plainLength = 0;
        unsigned char tag = 0;
        if (!pull(static_cast<std::size_t>(got), plainLength, tag) &&
            !lf_pullShortFinalChunk(pull, static_cast<std::size_t>(got), plainLength, tag))
            throw std::runtime_error("Decryption failed");
        output.write(reinterpret_cast<const char*>(plain->data()), static_cast<std::streamsize>(plainLength));
        if (!output) throw std::runtime_error("Could not write output file: " + out.string());
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            final = true;
            break;
        }
        input.read(reinterpret_cast<char*>(cipher->data()), cipher->size());
        got = input.gcount();
    }
    // Without its FINAL chunk the file was cut off (an interrupted download, say): what was decrypted
    // is only a part of the data.
    if (!final) throw std::runtime_error("Incomplete stream: the final chunk is missing");
    // The last bytes reach the file only now (a full disk shows here).
    output.close();
    if (!output) throw std::runtime_error("Could not write output file: " + out.string());
}

} // namespace

std::filesystem::path& refdataInputFolder() {
    static std::filesystem::path folder{"input"};
    return folder;
}

bool gf_streamDecrypt(const std::filesystem::path& in, const std::filesystem::path& out) {
    const std::array<std::uint8_t, 32> key = refdata::dataFileKey;
    try {
        lf_decryptStream(key, in, out);
        return true;
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception: {}", "gf_streamDecrypt", e.what()));
        gf_removeIfExists(out);
        return false;
    }
}

void gf_removeIfExists(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    std::filesystem::remove(path, ec);
    if (ec)
        gf_logError(fmt::format("Warning: could not remove {}, errorcode: {}", path.string(), ec.message()));
}
