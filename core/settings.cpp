#include "core/settings.h"

#include <fmt/format.h>

#include "core/log.h"
#include "core/strings.h"
#include "core/xml.h"

namespace {

void lf_writeFailed(const std::string& key, const std::string& value) {
    gf_logUnlessStopping(fmt::format("{}adding xml parameter {} with {} failed!", "===> ", key, value));
}

// The first entry that begins with `prefix`, compared without regard to ASCII case.
std::optional<std::size_t> lf_firstWithPrefix(const std::vector<std::string>& entries,
                                              std::string_view prefix) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        if (entry.size() < prefix.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < prefix.size() && same; ++k)
            same = gf_toUpperChar(entry[k]) == gf_toUpperChar(prefix[k]);
        if (same) return i;
    }
    return std::nullopt;
}

} // namespace

void ControlPart::enable(bool enabled) const {
    if (auto* c = control()) c->enable(enabled);
}

// ---- BoolParameter --------------------------------------------------------------------------------

void BoolParameter::log() const {
    gf_logUnlessStopping(fmt::format("{}={}", name, valueText()));
}

bool BoolParameter::writeXml(pugi::xml_node parameters, bool writeDefaults) const {
    return writeEntry(parameters, writeDefaults ? defaultValue : value.load(), true);
}

bool BoolParameter::writeEntry(pugi::xml_node parameters, bool v, bool list) const {
    const bool ok = gf_appendBoolParameter(parameters, name, v);
    if (!ok) lf_writeFailed(name, v ? "true" : "false");
    if (list) gf_logUnlessStopping(fmt::format("{}={}", name, v));
    return ok;
}

// ---- IntParameter ---------------------------------------------------------------------------------

std::int32_t IntParameter::clamped(std::int64_t v) const {
    if (v > max) return max;
    if (v < min) return min;
    return static_cast<std::int32_t>(v);
}

void IntParameter::log() const {
    gf_logUnlessStopping(fmt::format("{}={}", name, value.load()));
}

bool IntParameter::writeXml(pugi::xml_node parameters, bool writeDefaults) const {
    return writeEntry(parameters, writeDefaults ? defaultValue : value.load(), true);
}

bool IntParameter::writeEntry(pugi::xml_node parameters, std::int32_t v, bool list) const {
    const bool ok = gf_appendIntParameter(parameters, name, v);
    if (!ok) lf_writeFailed(name, std::to_string(v));
    if (list) gf_logUnlessStopping(fmt::format("{}={}", name, v));
    return ok;
}

// ---- StringParameter ------------------------------------------------------------------------------

std::string StringParameter::value() const {
    std::lock_guard lock(mutex_);
    return value_;
}

std::string StringParameter::defaultValue() const {
    std::lock_guard lock(mutex_);
    return default_;
}

void StringParameter::setValue(std::string text) {
    std::lock_guard lock(mutex_);
    value_ = std::move(text);
}

void StringParameter::setDefault(std::string text) {
    std::lock_guard lock(mutex_);
    default_ = std::move(text);
}

void StringParameter::set(std::string text) {
    setValue(std::move(text));
    save();
}

void StringParameter::log() const {
    gf_logUnlessStopping(fmt::format("{}=\"{}\"", name, value()));
}

bool StringParameter::writeXml(pugi::xml_node parameters, bool writeDefaults) const {
    return writeEntry(parameters, writeDefaults ? defaultValue() : value(), true);
}

bool StringParameter::writeEntry(pugi::xml_node parameters, const std::string& v, bool list) const {
    const bool ok = gf_appendStringParameter(parameters, name, v);
    if (!ok) lf_writeFailed(name, v);
    if (list) gf_logUnlessStopping(fmt::format("{}=\"{}\"", name, v));
    return ok;
}

bool StringParameter::readXml(const pugi::xml_node& doc) {
    if (auto text = gf_readStringParameter(doc, name)) {
        setValue(std::move(*text));
        return true;
    }
    setValue(defaultValue());
    return false;
}

// ---- Settings with a control ----------------------------------------------------------------------

void CheckBoxParameter::showValue() const {
    if (auto* c = control()) c->setChecked(value.load());
}

void EditStringParameter::showValue() const {
    if (auto* c = control()) c->setText(value());
}

std::optional<std::size_t> StringChoiceParameter::selectedIndex() const {
    const std::string v = value();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i] == v) return i;
    return std::nullopt;
}

void StringChoiceParameter::fillCombo() const {
    if (auto* c = control()) c->fillChoices(choices, lf_firstWithPrefix(choices, value()));
}

std::vector<std::string> SharedChoiceList::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void SharedChoiceList::replace(std::vector<std::string> entries) {
    std::lock_guard lock(mutex_);
    entries_ = std::move(entries);
}

void SharedStringChoiceParameter::fillCombo() const {
    if (auto* c = control()) {
        auto entries = choices->entries();
        c->fillChoices(entries, lf_firstWithPrefix(entries, value()));
    }
}

NumericChoiceParameter::NumericChoiceParameter(std::string name, std::int32_t defaultValue,
                                               std::vector<std::int32_t> choiceList, std::uint16_t controlId,
                                               std::int32_t y)
    : IntParameter(std::move(name), defaultValue, choiceList.front(), choiceList.back()),
      ControlPart(controlId, y), choices(std::move(choiceList)) {}

std::optional<std::size_t> NumericChoiceParameter::choiceIndex() const {
    const std::int32_t v = value.load();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i] == v) return i;
    return std::nullopt;
}

void NumericChoiceParameter::fillCombo() const {
    if (auto* c = control()) {
        std::vector<std::string> entries;
        entries.reserve(choices.size());
        for (auto choice : choices)
            entries.push_back(std::to_string(choice));
        c->fillChoices(entries, choiceIndex());
    }
}

void NumericChoiceParameter::selectValue() const {
    if (auto* c = control())
        if (auto index = choiceIndex()) c->selectChoice(*index);
}

void NumericChoiceParameter::showValue() const {
    if (auto* c = control()) c->setText(valueText());
}

FloatChoiceParameter::FloatChoiceParameter(std::string name, float defaultValue,
                                           std::vector<float> choiceList, std::uint16_t controlId,
                                           std::int32_t y)
    : Parameter(std::move(name)), ControlPart(controlId, y), defaultValue(defaultValue),
      min(choiceList.front()), max(choiceList.back()), value(defaultValue), choices(std::move(choiceList)) {}

std::optional<std::size_t> FloatChoiceParameter::choiceIndex() const {
    const float v = value.load();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i] == v) return i;
    return std::nullopt;
}
