#include "engine/stands/stand_options.h"

#include "core/log.h"
#include "engine/base/engine_status.h"
#include "engine/base/stands.h"
#include "refdata/type_lookups.h"

#include <fmt/format.h>

#include <exception>

namespace {

std::string lf_withoutTrailingUnderscore(std::string_view text) {
    if (!text.empty() && text.back() == '_') text.remove_suffix(1);
    return std::string(text);
}

} // namespace

void gf_countStandUpdate() {
    ++parkAirport.standUpdateCount;
    if (engineStatus.standUpdateCount.load() != parkAirport.standUpdateCount) {
        engineStatus.standUpdateCount = parkAirport.standUpdateCount;
        if (const auto& repaint = gf_engineHooks().repaintStatus) repaint();
    }
}

std::vector<std::uint32_t> gf_slotList(WeekSlot now, std::int32_t count) {
    std::vector<std::uint32_t> slots;
    if (count <= 0) return slots;
    slots.reserve(static_cast<std::size_t>(count));
    std::uint32_t h = now.halfHour;
    for (std::int32_t i = 0; i < count; ++i) {
        slots.push_back(h);
        h = h == 0 ? 47 : h - 1;
    }
    return slots;
}

ParkOpt* gf_findOption(std::vector<ParkOpt>& opts, std::uint32_t k) {
    if (k == 0) return nullptr;
    for (ParkOpt& opt : opts)
        if (opt.seq == k) return &opt;
    return nullptr;
}

bool updateOptions(std::vector<ParkOpt>& opts, const std::vector<std::uint32_t>& slots, std::uint32_t k) {
    try {
        ParkOpt* opt = gf_findOption(opts, k);
        if (opt == nullptr) return false;
        for (auto it = slots.rbegin(); it != slots.rend(); ++it)
            opt->hh.set(*it);
        return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception:{}", "updateOptions", e.what()));
        return false;
    }
}

bool updateOptionsWrapped(std::vector<ParkOpt>& opts, const std::vector<std::uint32_t>& slots,
                          std::uint32_t k, std::uint32_t k2) {
    try {
        ParkOpt* old = gf_findOption(opts, k);
        if (old == nullptr) return false;
        auto it = slots.rbegin();
        if (!slots.empty() && slots.back() != 0) {
            for (; it != slots.rend(); ++it) {
                const std::uint32_t slot = *it;
                old->hh.set(slot);
                if (slot == 47) {
                    ++it;
                    break;
                }
            }
        }
        ParkOpt* next = gf_findOption(opts, k2);
        if (next == nullptr) return false;
        for (; std::distance(it, slots.rend()) >= 2; ++it) {
            if (*it > 47) throw std::out_of_range(fmt::format("slot {}", *it));
            next->hh.set(*it);
        }
        return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception:{}", "updateOptionsWrapped", e.what()));
        return false;
    }
}

void gf_setOptionCallsign(std::vector<ParkOpt>& opts, std::uint32_t k, std::string_view text) {
    const std::string cs = lf_withoutTrailingUnderscore(text);
    if (cs.empty()) return;
    ParkOpt* opt = gf_findOption(opts, k);
    if (opt == nullptr) return;
    if (opt->cs.empty())
        opt->cs = cs;
    else if (cs != opt->cs && cs != opt->cs2)
        opt->cs2 = cs;
}

bool gf_optionMatches(std::string_view cs, const FlightIdent& ac, const ParkOpt& opt) {
    if (opt.seq == 0 || opt.real != 1) return false;
    if (!cs.empty() && (opt.cs == cs || opt.cs2 == cs)) return true;
    return gf_isSameAirlType(opt.airl, opt.type, ac);
}

std::optional<std::uint32_t> gf_addStandOption(ParkPos& stand, const AcData& ac, WeekSlot now,
                                               const std::string& reg, bool coupled) {
    for (const ParkOpt& opt : stand.opts)
        if (opt.reg == reg && opt.day == now.day && opt.hh.count() == 1 && opt.hh.test(now.halfHour))
            return std::nullopt;
    ParkOpt opt;
    opt.cs = lf_withoutTrailingUnderscore(ac.cs);
    opt.hh.set(now.halfHour);
    opt.seq = static_cast<std::uint32_t>(stand.opts.size() + 1);
    if (const auto record = gf_findRegRecord(reg)) {
        opt.airl = record->opr.empty() ? record->airl : record->opr;
        opt.type = record->type;
    } else {
        opt.airl = ac.airl;
        opt.type = ac.type;
    }
    opt.reg = reg;
    opt.day = now.day;
    opt.origin = 0;
    opt.real = 1;
    opt.cpl = coupled;
    stand.opts.push_back(std::move(opt));
    gf_countStandUpdate();
    return stand.opts.back().seq;
}

bool gf_extendOptionWindow(WeekSlot now, ParkPos& stand, std::uint32_t k, OptionWindow& window,
                           const AcData& ac, const std::string& reg, bool coupled) {
    if (k == 0) return true;
    if (window.last == now) return true;
    const std::int32_t largestGap = ac.cargo ? 12 : ac.sizeCat == SizeCategory::Heavy ? 8 : 6;
    const std::int32_t gap = gf_weekSlotDifference(window.last, now);
    if (gap < 1 || gap >= largestGap) return false;
    const auto slots = gf_slotList(now, gap);
    if (now.day == window.last.day) {
        if (updateOptions(stand.opts, slots, k)) gf_setOptionCallsign(stand.opts, k, ac.cs);
        window.last = now;
        return true;
    }
    const auto added = gf_addStandOption(stand, ac, now, reg, coupled);
    if (!added) return false;
    updateOptionsWrapped(stand.opts, slots, k, *added);
    gf_setOptionCallsign(stand.opts, k, ac.cs);
    gf_setOptionCallsign(stand.opts, *added, ac.cs);
    window.option = *added;
    window.last = now;
    return true;
}

void lf_addRealStandOption(std::uint32_t sid, AcData& ac, std::int32_t mode) {
    lf_addRealStandOption(sid, ac, mode, WeekSlot::fromPacked(currentWeekSlot.load()));
}

void lf_addRealStandOption(std::uint32_t sid, AcData& ac, std::int32_t mode, WeekSlot now) {
    try {
        const std::string reg = lf_withoutTrailingUnderscore(ac.reg);
        if (reg.empty()) return;
        const auto record = gf_findRegRecord(reg);
        if (!record) return;
        ac.airl = record->airl;
        ac.type = record->type;
        ParkPos* stand = gf_findStand(sid);
        if (stand == nullptr) return;

        auto sameFlight = [&](const ParkOpt& opt) {
            return opt.seq != 0 && opt.day == now.day && opt.reg == reg && opt.real == 1;
        };
        for (const ParkOpt& opt : stand->opts)
            if (sameFlight(opt) && opt.origin == 1 && !opt.hh.test(now.halfHour)) return;

        const bool coupled = mode == 2 || mode == 3;
        ParkOpt* found = nullptr;
        for (ParkOpt& opt : stand->opts)
            if (sameFlight(opt) && opt.origin == 0) {
                found = &opt;
                break;
            }
        if (found == nullptr) {
            gf_addStandOption(*stand, ac, now, reg, coupled);
            return;
        }
        if (found->hh.test(now.halfHour)) {
            if (coupled) found->cpl = true;
            return;
        }
        if (found->cpl) {
            gf_addStandOption(*stand, ac, now, reg, coupled);
            return;
        }
        std::uint32_t last = 0;
        for (std::uint32_t h = 0; h < 48; ++h)
            if (found->hh.test(h)) last = h;
        const std::uint32_t number = found->seq;
        OptionWindow window{WeekSlot{found->day, last}, number};
        // The options may move when one is added: the found option is looked up again by number.
        if (!gf_extendOptionWindow(now, *stand, number, window, ac, reg, coupled))
            gf_addStandOption(*stand, ac, now, reg, coupled);
        if (coupled)
            if (ParkOpt* again = gf_findOption(stand->opts, number)) again->cpl = true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: hh_now: {}, {}", "lf_addRealStandOption", now.halfHour, e.what()));
    }
}
