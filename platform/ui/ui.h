#pragma once
// The one way any thread reaches the main window: invalidate a band of the painted status area,
// enable a control, set a control's text, tick a check box, fill or select a choice list, post one of
// the program's own messages. Every call returns at once; the window thread carries it out later, in
// the order of the calls. A call for a control that does not exist (yet) does nothing.
//
// Controls are named by the program's own control ids (0x8001 and up); the toolkit's ids are an affair
// of the toolkit layer.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using ControlKey = std::int32_t;

// A rectangle of the window's client area: left, top (inclusive), right, bottom (exclusive).
struct UiRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const UiRect&, const UiRect&) = default;
};

// The painted client area and its fixed bands.
inline constexpr int uiClientWidth = 880;
inline constexpr int uiClientHeight = 476;
inline constexpr UiRect uiWholeArea{0, 0, uiClientWidth, uiClientHeight};
inline constexpr UiRect uiCountsBand{0, 28, 880, 112};
inline constexpr UiRect uiControlsBand{0, 112, 880, 392};
inline constexpr UiRect uiParkingBlock{0, 392, 880, 448};
inline constexpr UiRect uiMessageBand{0, 448, 880, 476};

// The program's private messages to its own window.
enum class UiMessage : std::uint32_t {
    startRun = 0x8001,     // start a worker run (the first one and every restart)
    storeAndQuit = 0x8002, // store the window position and end the message loop
    close = 0x0010,        // as if the user pressed the window's close button
};

class Ui {
public:
    virtual ~Ui() = default;

    virtual void invalidate(const UiRect& rect) = 0;
    void invalidateAll() { invalidate(uiWholeArea); }
    virtual void enableControl(ControlKey key, bool enabled) = 0;
    // The text of an edit field, or the caption of a button, check box or label (UTF-8).
    virtual void setControlText(ControlKey key, std::string text) = 0;
    virtual void setCheck(ControlKey key, bool checked) = 0;
    // Empties a choice list, appends the entries and selects `selected` (none when out of range).
    virtual void fillChoice(ControlKey key, std::vector<std::string> entries, int selected) = 0;
    virtual void selectChoice(ControlKey key, int index) = 0;
    virtual void post(UiMessage message) = 0;
    // Keeps the window above all others, or not.
    virtual void setAlwaysOnTop(bool onTop) = 0;
    // A modal message box with an exclamation icon; the caller does not wait for it.
    virtual void messageBox(std::string text, std::string caption) = 0;
};

// The process's Ui: the window's once it exists, before that (and after it is gone) one that does
// nothing. gf_setUi(nullptr) goes back to the one that does nothing.
Ui& gf_ui();
void gf_setUi(Ui* ui);

// A Ui that records every call, for tests. Thread-safe.
class RecordingUi : public Ui {
public:
    enum class Kind { invalidate, enable, text, check, fill, select, post, onTop, messageBox };
    struct Call {
        Kind kind;
        ControlKey key = 0;
        bool flag = false;
        int index = -1;
        std::string text;
        std::string caption;
        std::vector<std::string> entries;
        UiRect rect{};
        UiMessage message{};
    };

    void invalidate(const UiRect& rect) override;
    void enableControl(ControlKey key, bool enabled) override;
    void setControlText(ControlKey key, std::string text) override;
    void setCheck(ControlKey key, bool checked) override;
    void fillChoice(ControlKey key, std::vector<std::string> entries, int selected) override;
    void selectChoice(ControlKey key, int index) override;
    void post(UiMessage message) override;
    void setAlwaysOnTop(bool onTop) override;
    void messageBox(std::string text, std::string caption) override;

    std::vector<Call> calls() const;
    void clear();
    // The last state a control was given, when it was given one.
    std::optional<bool> enabled(ControlKey key) const;
    std::optional<bool> checked(ControlKey key) const;
    std::optional<std::string> text(ControlKey key) const;
    std::optional<std::vector<std::string>> entries(ControlKey key) const;
    // The selection of the last fill or select of a choice list.
    std::optional<int> selection(ControlKey key) const;
    std::vector<UiMessage> posted() const;
    std::size_t count(Kind kind) const;

private:
    void add(Call call);
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};
