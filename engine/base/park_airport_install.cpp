// The park airport's owner: choosing it, installing what its files gave and forgetting it.

#include "engine/base/stands.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/restore_parameters.h"
#include "core/settings.h"
#include "core/version.h"
#include "refdata/airports.h"
#include "refdata/park_airport.h"
#include "refdata/park_airport_file.h"
#include "refdata/parking_quality.h"

#include <fmt/format.h>

#include <exception>

namespace {

void lf_logSetting(std::string_view key, const auto& value) {
    gf_logContinuation(fmt::format("{:24}: {}", key, value));
}

// The parking settings of the learned file's header take over the user's.
void lf_applyLearnedSettings(const LearnedSettings& settings) {
    const auto& hooks = gf_restoreHooks();
    learnedSettingsInForce = true;
    if (settings.maxLiveSel) {
        MAX_LIVE_SEL.setClamped(*settings.maxLiveSel);
        MAX_LIVE_SEL.selectValue();
        lf_logSetting("MAX_LIVE_SEL", MAX_LIVE_SEL.value.load());
    }
    if (settings.range) {
        if (hooks.setRange)
            hooks.setRange(*settings.range);
        else
            RANGE.setClamped(*settings.range);
        RANGE.enable(true);
        lf_logSetting("RANGE", *settings.range);
    }
    if (settings.autoRange) {
        AUTO_RANGE.value = *settings.autoRange;
        AUTO_RANGE.showValue();
        if (hooks.applyAutoRange) hooks.applyAutoRange();
        lf_logSetting("AUTO_RANGE", *settings.autoRange);
    }
    if (settings.parkingPercentage) {
        parking_percentage.setClamped(*settings.parkingPercentage);
        lf_logSetting("parking_percentage", parking_percentage.value.load());
    } else {
        parking_percentage.setClamped(30);
    }
    parking_percentage.selectValue();
    for (const auto& [box, value] :
         {std::pair{&WEEK, settings.week}, std::pair{&PARK_SOFT, settings.parkSoft}}) {
        if (value) {
            box->value = *value;
            box->showValue();
            lf_logSetting(box->name, *value);
        }
    }
    if (settings.maxFit) {
        MAX_FIT.setClamped(*settings.maxFit);
        if (hooks.showMaxFit) hooks.showMaxFit();
        gf_logContinuation(fmt::format("{:24}: {} (max number of half hours, is {:.1F} hrs decimal)",
                                       "MAX_FIT", MAX_FIT.value.load(), MAX_FIT_FL.value.load()));
    }
    if (settings.initialLoadOnly) {
        INITIAL_LOAD_ONLY.value = *settings.initialLoadOnly;
        INITIAL_LOAD_ONLY.showValue();
        const bool ready = hooks.parkingControlsReady && hooks.parkingControlsReady();
        NOW_BUTTON.enable(!*settings.initialLoadOnly && ready);
        lf_logSetting("INITIAL_LOAD_ONLY", *settings.initialLoadOnly);
    }
}

// A first visit: a few parking settings from the file's quality and the airports table's stands.
void lf_setFirstVisitDefaults() {
    const QualityFactors qf = parkQualityFactors;
    if (qf.Qf_real < 3 && qf.Qf_soft >= 1) {
        for (auto* box : {&PARK_SOFT, &WEEK}) {
            box->value = true;
            box->showValue();
        }
        // The stand search reads the half hours; the combo box shows the hours.
        MAX_FIT.setClamped(47);
        MAX_FIT_FL.value = 24.0f;
        if (const auto index = MAX_FIT_FL.choiceIndex())
            if (GuiControl* control = MAX_FIT_FL.control()) control->selectChoice(*index);
    } else if (qf.Qf_real >= 46) {
        for (auto* box : {&PARK_SOFT, &WEEK}) {
            box->value = false;
            box->showValue();
        }
    }
    const Airport* airport = gf_findAirport(parkAirportCode);
    const std::int32_t stands = airport ? airport->stands : 0;
    parking_percentage.setClamped(stands == 1 ? 100 : stands == 2 ? 50 : 30);
    gf_logContinuation(fmt::format("{:24}: {}%", parking_percentage.name, parking_percentage.value.load()));
    parking_percentage.selectValue();
    parking_percentage.enable(true);
}

// The learned file's part of the install: its notes, its settings and its merge's lines.
void lf_installLearned(const ParkAirportRead& read) {
    gf_writeLogLines(read.learnedLines);
    if (read.learned) {
        const ParkAirportRead::LearnedHeader& learned = *read.learned;
        if (learned.airport_name != parkAirportInfo.airport_name)
            gf_showMessage(fmt::format("Warning: learned file airport name: '{}' differs from archived file "
                                       "airport name: '{}'",
                                       learned.airport_name, parkAirportInfo.airport_name),
                           true);
        try {
            lf_applyLearnedSettings(learned.settings);
        } catch (const std::exception& e) {
            learnedFileRefused = true;
            gf_logError(fmt::format("{}: refused to load: {}: {}, the file is left as it is",
                                    read.learnedPath.generic_string(), "lf_readLearned", e.what()));
        }
    }
    gf_writeLogLines(read.merged.lines);
    handmadeApf = read.merged.handmade;
    if (read.merged.refused) learnedFileRefused = true;
}

} // namespace

void ParkAirport::choose(const Airport& airport) {
    currentParkAirport = airport;
    parkAirportCode = airport.code;
}

std::string ParkAirport::install(ParkAirportRead read) {
    if (read.fileReached) {
        handmadeApf = false;
        learnedFileRefused = false;
    }
    gf_writeLogLines(read.lines);
    if (!read.failure.empty()) return read.failure;

    const ParkAirportFile& file = read.file;
    rtTrafficWeek = file.rtTrafficWeek;
    parkAirportInfo.publisher = file.publisher;
    if (!file.altitude) throw orv::UserErrorException(65, file.errorText());
    parkAirportInfo.altitude = *file.altitude;
    currentParkAirport.alt = *file.altitude;
    parkAirportInfo.airport_name = file.airport_name;
    gf_clearParkPositions();
    parkPositions = std::move(read.merged.stands);
    if (file.errorNumber() != 0)
        throw orv::UserErrorException(static_cast<std::uint32_t>(file.errorNumber()), file.errorText());
    parkQualityFactors = read.qualityFactors;

    // While settings of a learned file or of a first visit are in force, the saved values are the
    // user's own: keep them.
    if (!learnedSettingsInForce) {
        savedParkingSettings = SavedParkingSettings{
            MAX_LIVE_SEL.value.load(),       MAX_FIT.value.load(),    RANGE.value.load(),
            parking_percentage.value.load(), AUTO_RANGE.value.load(), INITIAL_LOAD_ONLY.value.load(),
            PARK_SOFT.value.load(),          WEEK.value.load()};
    }
    if (read.learnedExists) {
        lf_installLearned(read);
        if (handmadeApf) gf_log("A handmade airport file overruled the archived file!");
    } else {
        gf_writeLogLines(read.learnedLines);
        gf_logAndFlush("learned does not exist");
        learnedSettingsInForce = true;
        lf_setFirstVisitDefaults();
    }

    auto& hooks = gf_parkingHooks();
    if (hooks.showStandCount) hooks.showStandCount(parkPositions.size());
    gf_log(fmt::format("Airport file read from '{}' for {}",
                       handmadeApf ? read.learnedPath.generic_string() : read.reference,
                       parkAirportInfo.airport_name));
    if (hooks.showAirportFile) hooks.showAirportFile(parkAirportInfo.publisher, handmadeApf);
    const std::string quality = gf_qualityTextOf(parkQualityFactors);
    gf_logContinuation(fmt::format("{:24}: {}", "publisher", parkAirportInfo.publisher));
    gf_logContinuation(fmt::format("{:24}: {} ft", "altitude", parkAirportInfo.altitude));
    gf_logContinuation(fmt::format("{:24}: {}", "num_parkpos", parkPositions.size()));
    gf_logContinuation(fmt::format("{:24}: {}", "quality factor", quality));
    gf_logContinuation(fmt::format("{:24}: {}", "RT traffic week", rtTrafficWeek.load()));

    if (hooks.showQualityText) hooks.showQualityText(quality);
    // Only a read that found stands loads the airport: leaving an airport that was not loaded saves
    // nothing over its learned file.
    if (!parkPositions.empty()) {
        parkAirportLoaded = true;
        FLUSH_STATIC_BUTTON.enable(true);
    }
    elevationFt = parkAirportCode.empty() ? std::nullopt : std::optional<double>(parkAirportInfo.altitude);
    if (hooks.setParkAirportElevation) hooks.setParkAirportElevation(elevationFt);
    return parkPositions.empty() ? "no stands found" : "";
}

void ParkAirport::forget() {
    parkAirportLoaded = false;
    handmadeApf = false;
    learnedFileRefused = false;
    currentParkAirport = Airport{};
    parkAirportCode.clear();
    elevationFt.reset();
}
