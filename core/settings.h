#pragma once
// The settings of the program: one global object per setting, each with its key in parameters.xml,
// its default, its bounds and its current value, and for the settings that the main window shows,
// the control that edits it. The registries at the end decide which settings the full load and the
// full save of parameters.xml handle, and in which order.
//
// Threads: every thread reads the settings. Bool and number values are atomics; texts sit behind a
// lock of their own and are handed out as copies. The file itself is guarded by one process-wide
// mutex (parameters.h).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

// The window's side of one control. The main window implements it for each control it creates and
// attaches it to the setting; tests use a fake. The settings call it from any thread (the worker
// loads and migrates the settings), so an implementation hands the work to the window thread.
class GuiControl {
public:
    virtual ~GuiControl() = default;
    virtual void enable(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // A check box: ticked or cleared.
    virtual void setChecked(bool checked) = 0;
    // The control's text (UTF-8): an edit box's content, a drop-down list's shown value.
    virtual void setText(const std::string& text) = 0;
    // A drop-down list: replaces all entries and selects one of them, or none.
    virtual void fillChoices(const std::vector<std::string>& entries,
                             std::optional<std::size_t> selected) = 0;
    // A drop-down list: selects the entry at the index.
    virtual void selectChoice(std::size_t index) = 0;
};

// The part of a setting that is bound to a control of the main window.
class ControlPart {
public:
    ControlPart(std::uint16_t controlId, std::int32_t y) : controlId(controlId), y(y) {}
    virtual ~ControlPart() = default;
    ControlPart(const ControlPart&) = delete;
    ControlPart& operator=(const ControlPart&) = delete;

    // The control's id (the id of its command notifications) and the y of its row in the client area.
    const std::uint16_t controlId;
    const std::int32_t y;

    // The window's control; null until the window has created it (and again after detach).
    GuiControl* control() const { return control_.load(); }
    void attach(GuiControl* control) { control_.store(control); }
    void detach() { control_.store(nullptr); }

    // Enables (or disables) the control when there is one.
    void enable(bool enabled = true) const;

private:
    std::atomic<GuiControl*> control_{nullptr};
};

// The base of every setting.
class Parameter {
public:
    explicit Parameter(std::string name) : name(std::move(name)) {}
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    // The key in parameters.xml (for a button: its caption).
    const std::string name;
};

// A yes/no setting.
class BoolParameter : public Parameter {
public:
    BoolParameter(std::string name, bool defaultValue)
        : Parameter(std::move(name)), defaultValue(defaultValue), min(defaultValue), max(defaultValue),
          value(defaultValue) {}

    const bool defaultValue;
    const bool min;
    const bool max;
    std::atomic<bool> value;

    // Writes this one setting into parameters.xml at once.
    void save() const;
    // Lists the setting in the log: "KEY=true" (nothing while stopping).
    void log() const;
    // Appends one entry (default or value) to a parameters element and lists the setting.
    bool writeXml(pugi::xml_node parameters, bool writeDefaults) const;
    // Appends one entry with the given value; lists it ("KEY=true") when `list` is set.
    bool writeEntry(pugi::xml_node parameters, bool v, bool list) const;
    std::string valueText() const { return value.load() ? "true" : "false"; }
};

// A whole-number setting, clamped to [min, max] when read from the file and when set from outside.
class IntParameter : public Parameter {
public:
    IntParameter(std::string name, std::int32_t value, std::int32_t min, std::int32_t max)
        : Parameter(std::move(name)), defaultValue(value), min(min), max(max), value(value) {}

    const std::int32_t defaultValue;
    const std::int32_t min;
    const std::int32_t max;
    std::atomic<std::int32_t> value;

    // Above max gives max, below min gives min, else the value itself.
    std::int32_t clamped(std::int64_t v) const;
    void setClamped(std::int64_t v) { value.store(clamped(v)); }

    void save() const;
    // "KEY=123" (nothing while stopping).
    void log() const;
    bool writeXml(pugi::xml_node parameters, bool writeDefaults) const;
    bool writeEntry(pugi::xml_node parameters, std::int32_t v, bool list) const;
    std::string valueText() const { return std::to_string(value.load()); }
};

// A text setting. The text is replaced on one thread while others read it, so it is only handed out
// as a copy.
class StringParameter : public Parameter {
public:
    StringParameter(std::string name, std::string defaultValue)
        : Parameter(std::move(name)), min(defaultValue), max(defaultValue), default_(defaultValue),
          value_(std::move(defaultValue)) {}

    // Kept with the setting but never used.
    const std::string min;
    const std::string max;

    std::string value() const;
    std::string defaultValue() const;
    // Replaces the value without saving it.
    void setValue(std::string text);
    // The default of the program version changes when a file of defaults is written.
    void setDefault(std::string text);
    // Replaces the value and writes it into parameters.xml at once.
    void set(std::string text);

    void save() const;
    // "KEY=\"text\"" (nothing while stopping).
    void log() const;
    bool writeXml(pugi::xml_node parameters, bool writeDefaults) const;
    bool writeEntry(pugi::xml_node parameters, const std::string& v, bool list) const;
    // Takes the value from the document, or the default when the key is missing (then false).
    bool readXml(const pugi::xml_node& doc);
    std::string valueText() const { return value(); }

private:
    mutable std::mutex mutex_;
    std::string default_;
    std::string value_;
};

// A check box; ticked means true.
class CheckBoxParameter : public BoolParameter, public ControlPart {
public:
    CheckBoxParameter(std::string name, bool defaultValue, std::uint16_t controlId, std::int32_t y)
        : BoolParameter(std::move(name), defaultValue), ControlPart(controlId, y) {}
    // Ticks or clears the box to match the value.
    void showValue() const;
};

// A text setting with an edit box.
class EditStringParameter : public StringParameter, public ControlPart {
public:
    EditStringParameter(std::string name, std::string defaultValue, std::uint16_t controlId, std::int32_t y)
        : StringParameter(std::move(name), std::move(defaultValue)), ControlPart(controlId, y) {}
    // Shows the value as the control's text.
    void showValue() const;
};

// A text setting chosen from a drop-down list. The value is normally one of the choices; nothing
// enforces it.
class StringChoiceParameter : public EditStringParameter {
public:
    StringChoiceParameter(std::string name, std::string defaultValue, std::vector<std::string> choices,
                          std::uint16_t controlId, std::int32_t y)
        : EditStringParameter(std::move(name), std::move(defaultValue), controlId, y),
          choices(std::move(choices)) {}

    const std::vector<std::string> choices;

    // The position of the first choice equal to the value, byte for byte.
    std::optional<std::size_t> selectedIndex() const;
    // Fills the list with the choices and selects the first entry that begins with the value,
    // compared without regard to (ASCII) case.
    void fillCombo() const;
};

// A list of texts that one part of the program replaces at run time while the window shows it.
class SharedChoiceList {
public:
    explicit SharedChoiceList(std::vector<std::string> entries) : entries_(std::move(entries)) {}
    std::vector<std::string> entries() const;
    void replace(std::vector<std::string> entries);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

// A text setting chosen from a list that other code refills at run time.
class SharedStringChoiceParameter : public EditStringParameter {
public:
    SharedStringChoiceParameter(std::string name, std::string defaultValue,
                                std::shared_ptr<SharedChoiceList> choices, std::uint16_t controlId,
                                std::int32_t y)
        : EditStringParameter(std::move(name), std::move(defaultValue), controlId, y),
          choices(std::move(choices)) {}

    const std::shared_ptr<SharedChoiceList> choices;
    // As StringChoiceParameter::fillCombo, over the shared list as it is now.
    void fillCombo() const;
};

// A whole number chosen from a drop-down list; min and max are the first and the last choice. The
// value need not be one of the choices.
class NumericChoiceParameter : public IntParameter, public ControlPart {
public:
    // The choices must be in ascending order and not empty.
    NumericChoiceParameter(std::string name, std::int32_t defaultValue, std::vector<std::int32_t> choices,
                           std::uint16_t controlId, std::int32_t y);

    const std::vector<std::int32_t> choices;

    // The position of the first choice equal to the value.
    std::optional<std::size_t> choiceIndex() const;
    // Fills the list with the choices as decimal texts and selects the value's entry (none when the
    // value is no choice).
    void fillCombo() const;
    // Selects the value's entry when the value is a choice; otherwise leaves the selection.
    void selectValue() const;
    // Shows the value as the control's text.
    void showValue() const;
};

// The one decimal setting: the max-fit time in hours, shown from MAX_FIT.
class FloatChoiceParameter : public Parameter, public ControlPart {
public:
    FloatChoiceParameter(std::string name, float defaultValue, std::vector<float> choices,
                         std::uint16_t controlId, std::int32_t y);

    const float defaultValue;
    const float min;
    const float max;
    std::atomic<float> value;
    const std::vector<float> choices;

    // The position of the first choice equal to the value (exact comparison).
    std::optional<std::size_t> choiceIndex() const;
};

// A push button of the main window; the name is its caption. It has no value and is never stored.
class ButtonParameter : public Parameter, public ControlPart {
public:
    ButtonParameter(std::string caption, std::uint16_t controlId, std::int32_t y)
        : Parameter(std::move(caption)), ControlPart(controlId, y) {}
};

// ---- The settings ---------------------------------------------------------------------------------

// Check boxes.
extern CheckBoxParameter ALWAYS_ON_TOP;
extern CheckBoxParameter GUID_CHANGES;
extern CheckBoxParameter AEROWINX;
extern CheckBoxParameter NAV_LIGHTS_WHILE_PARKED;
extern CheckBoxParameter SCAN_LIVERIES;
extern CheckBoxParameter LIG_AUTOMATIC;
extern CheckBoxParameter LIG_PRIORITIZE;
extern CheckBoxParameter SCAN_AIRPORTS;
extern CheckBoxParameter LIGHT_AIRCRAFT;
extern CheckBoxParameter HELICOPTERS;
extern CheckBoxParameter HIGH_PERF_AIRCRAFT;
extern CheckBoxParameter AUTO_RANGE;
extern CheckBoxParameter AIRBORNE_ONLY;
extern CheckBoxParameter COLLISION_USER_AIR;
extern CheckBoxParameter COLLISION_USER_GND;
extern CheckBoxParameter COLLISION_LIVE_PARKED_GND;
extern CheckBoxParameter STRAIGHT_PBS_ONLY;
extern CheckBoxParameter INITIAL_LOAD_ONLY;
extern CheckBoxParameter PARK_SOFT;
extern CheckBoxParameter WEEK;

// Yes/no without a control: random choices on or off.
extern BoolParameter RANDOM;

// Whole numbers without a control.
extern IntParameter CUSTOM_PARKING_PERCENTAGE;
extern IntParameter MAIN_WINDOW_X;
extern IntParameter MAIN_WINDOW_Y;
extern IntParameter LAST_EPOCH_TIME; // key "LAST_EPOCH_TIME:" (with the colon)
extern IntParameter HOLDING_THRESHOLD_METERS;
extern IntParameter MAX_HOLDING_MINUTES;
extern IntParameter MAX_FIT; // half-hour slots

// Numbers chosen from a list.
extern NumericChoiceParameter MATCHING_DEPTH;
extern NumericChoiceParameter RANGE; // nautical miles
extern NumericChoiceParameter AR_ABOVE_HEIGHT;
extern NumericChoiceParameter MAX_PARK_SEL;
extern NumericChoiceParameter MAX_LIVE_SEL;
extern NumericChoiceParameter AIRP_RANGE;
extern NumericChoiceParameter AIRP_HEIGHT;
extern NumericChoiceParameter parking_percentage;
extern FloatChoiceParameter MAX_FIT_FL; // hours

// Texts without a control.
extern StringParameter PROGRAM_VERSION;
extern StringParameter MSFS_INSTALL_PATH;
extern StringParameter PORT_NUMBER;
extern StringParameter lfolder0;
extern StringParameter lfolder1;
extern StringParameter lfolder2;
extern StringParameter lfolder3;
extern StringParameter lfolder4;
extern StringParameter lfolder5;
extern StringParameter lfolder6;
extern StringParameter lfolder7;
extern StringParameter lfolder8;
extern StringParameter lfolder9;
extern StringParameter AIG_VERSION;
extern StringParameter DBASE_VERSION;
extern StringParameter AIRPORTS_VERSION;
extern StringParameter LIV_SCAN_VERSION;
extern StringParameter ADDONS_SCAN_VERSION;
extern StringParameter MYSIMADDON24_VERSION;
extern StringParameter MSFS_2024_INSTALL_PATH;

// Texts with an edit box.
extern EditStringParameter ALL_INSTALL_PATH;
extern EditStringParameter BLOCK_CALLSIGN;
extern EditStringParameter DESTINATION;

// Texts chosen from a list.
extern StringChoiceParameter SIM_CHOICE;
extern StringChoiceParameter AI_PACKAGE_SELECTOR;
extern SharedStringChoiceParameter CALLSIGN_2_OBJECTID;

// Push buttons.
extern ButtonParameter TBLO_BUTTON;         // "tblo"
extern ButtonParameter UNBLOCK_BUTTON;      // "Unblock"
extern ButtonParameter CS2OID_BUTTON;       // "cs->oid:"
extern ButtonParameter BLOCK_BUTTON;        // "Block"
extern ButtonParameter NOW_BUTTON;          // "Now"
extern ButtonParameter REREAD_BUTTON;       // "Re-read"
extern ButtonParameter FLUSH_STATIC_BUTTON; // "Flush static"

// The choice lists the settings were built from.
extern const std::vector<std::string> simChoices;
extern const std::vector<std::string> aiPackageOrders; // the 64 package orders
// The callsign list of CALLSIGN_2_OBJECTID; it starts as one empty text.
extern const std::shared_ptr<SharedChoiceList> callsign2ObjectIdChoices;

// The lfolder0 .. lfolder9 settings in number order.
extern const std::vector<StringParameter*> lfolderParameters;

// Beside RANGE the traffic radius in metres; starts as RANGE's default in metres.
extern std::atomic<std::uint32_t> rangeMeters;

// ---- Registries: the order of loading, saving and listing ------------------------------------------

extern const std::vector<BoolParameter*> boolParameters;
extern const std::vector<CheckBoxParameter*> checkBoxParameters;
extern const std::vector<IntParameter*> intParameters;
extern const std::vector<NumericChoiceParameter*> numericChoiceParameters;
extern const std::vector<StringParameter*> stringParameters;
extern const std::vector<EditStringParameter*> controlStringParameters;

// Tests only: every setting (and the default of PROGRAM_VERSION) back to its start, every control
// detached, the shared callsign list back to one empty text.
void gf_resetSettingsForTests();
