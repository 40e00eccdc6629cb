// The QNH datagram: a JSON object with the key "QNH", in hectopascals or hundredths of an inch of
// mercury, published as whole hectopascals within 900..1100.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include <fmt/format.h>
#include <gsl/narrow>
#include <nlohmann/json.hpp>

#include "core/log.h"
#include "feed/feed_state.h"
#include "feed/outside_text.h"
#include "feed/udp_readers.h"

namespace {

constexpr std::int32_t minQnh = 900;
constexpr std::int32_t maxQnh = 1100;
constexpr double hpaPerHundredthInHg = 0.33865307;

// A rounded value as a 32-bit integer; gsl::narrowing_error when it does not fit.
std::int32_t lf_toInt32(double rounded) {
    if (!(rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
          rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
        throw gsl::narrowing_error();
    return static_cast<std::int32_t>(rounded);
}

} // namespace

void QnhReader::onDatagram() {
    try {
        const auto doc = nlohmann::json::parse(data_.begin(), data_.end());
        if (!doc.is_object()) (void)doc.at("QNH"); // reports a document that is not an object
        const auto it = doc.find("QNH");
        if (it == doc.end() || it->is_null() || ((it->is_object() || it->is_array()) && it->empty())) {
            logLimited("no QNH", "no QNH " + gf_outsideText(data_));
            return;
        }

        std::int32_t q = 0;
        if (it->is_number_unsigned()) {
            q = gsl::narrow<std::int32_t>(it->get<std::uint64_t>());
        } else if (it->is_number_integer()) {
            q = gsl::narrow<std::int32_t>(it->get<std::int64_t>());
        } else if (it->is_number_float()) {
            const double value = it->get<double>();
            // Beyond the float range the conversion itself would be undefined.
            if (!(std::fabs(value) <= std::numeric_limits<float>::max())) throw gsl::narrowing_error();
            q = lf_toInt32(std::round(static_cast<float>(value)));
        } else if (it->is_string()) {
            const auto& text = it->get_ref<const std::string&>();
            const auto result = std::from_chars(text.data(), text.data() + text.size(), q);
            if (result.ec != std::errc()) {
                logLimited("QNH string parse error",
                           "QNH string parse error: " + gf_outsideText(fmt::format("{} in {}", text, data_)),
                           true);
                return;
            }
        } else {
            logLimited("no QNH", "no QNH " + gf_outsideText(data_));
            return;
        }

        if (q > maxQnh) q = lf_toInt32(std::round(q * hpaPerHundredthInHg));
        q = std::clamp(q, minQnh, maxQnh);
        if (q == lastQnh.load() && q != 1013) return;

        lastQnh.store(q);
        currentQnh.exchange(q);
        feedStatus.qnh.store(q);
        std::int32_t noData = readerNoData;
        feedStatus.qnhStatus.compare_exchange_strong(noData, readerFlowing);
        gf_feedHooks().repaintCounts();
    } catch (const std::exception& e) {
        logLimited("Exception", "Exception " + gf_outsideText(fmt::format("{}, in {}", e.what(), data_)));
    }
}
