#include "platform/ui/ui.h"

#include <atomic>

namespace {

class NullUi final : public Ui {
public:
    void invalidate(const UiRect&) override {}
    void enableControl(ControlKey, bool) override {}
    void setControlText(ControlKey, std::string) override {}
    void setCheck(ControlKey, bool) override {}
    void fillChoice(ControlKey, std::vector<std::string>, int) override {}
    void selectChoice(ControlKey, int) override {}
    void post(UiMessage) override {}
    void setAlwaysOnTop(bool) override {}
    void messageBox(std::string, std::string) override {}
};

NullUi nullUi;
std::atomic<Ui*> currentUi{&nullUi};

} // namespace

Ui& gf_ui() {
    return *currentUi.load(std::memory_order_acquire);
}

void gf_setUi(Ui* ui) {
    currentUi.store(ui ? ui : &nullUi, std::memory_order_release);
}

void RecordingUi::add(Call call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void RecordingUi::invalidate(const UiRect& rect) {
    add({.kind = Kind::invalidate, .rect = rect});
}
void RecordingUi::enableControl(ControlKey key, bool enabled) {
    add({.kind = Kind::enable, .key = key, .flag = enabled});
}
void RecordingUi::setControlText(ControlKey key, std::string text) {
    add({.kind = Kind::text, .key = key, .text = std::move(text)});
}
void RecordingUi::setCheck(ControlKey key, bool checked) {
    add({.kind = Kind::check, .key = key, .flag = checked});
}
void RecordingUi::fillChoice(ControlKey key, std::vector<std::string> entries, int selected) {
    add({.kind = Kind::fill, .key = key, .index = selected, .entries = std::move(entries)});
}
void RecordingUi::selectChoice(ControlKey key, int index) {
    add({.kind = Kind::select, .key = key, .index = index});
}
void RecordingUi::post(UiMessage message) {
    add({.kind = Kind::post, .message = message});
}
void RecordingUi::setAlwaysOnTop(bool onTop) {
    add({.kind = Kind::onTop, .flag = onTop});
}
void RecordingUi::messageBox(std::string text, std::string caption) {
    add({.kind = Kind::messageBox, .text = std::move(text), .caption = std::move(caption)});
}

std::vector<RecordingUi::Call> RecordingUi::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void RecordingUi::clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

namespace {

template <class Pick>
auto lastOf(const std::vector<RecordingUi::Call>& calls, ControlKey key, Pick pick)
    -> decltype(pick(calls.front())) {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->key != key) continue;
        if (auto v = pick(*it)) return v;
    }
    return std::nullopt;
}

} // namespace

std::optional<bool> RecordingUi::enabled(ControlKey key) const {
    std::lock_guard lock(mutex_);
    return lastOf(calls_, key, [](const Call& c) -> std::optional<bool> {
        return c.kind == Kind::enable ? std::optional<bool>(c.flag) : std::nullopt;
    });
}

std::optional<bool> RecordingUi::checked(ControlKey key) const {
    std::lock_guard lock(mutex_);
    return lastOf(calls_, key, [](const Call& c) -> std::optional<bool> {
        return c.kind == Kind::check ? std::optional<bool>(c.flag) : std::nullopt;
    });
}

std::optional<std::string> RecordingUi::text(ControlKey key) const {
    std::lock_guard lock(mutex_);
    return lastOf(calls_, key, [](const Call& c) -> std::optional<std::string> {
        return c.kind == Kind::text ? std::optional<std::string>(c.text) : std::nullopt;
    });
}

std::optional<std::vector<std::string>> RecordingUi::entries(ControlKey key) const {
    std::lock_guard lock(mutex_);
    return lastOf(calls_, key, [](const Call& c) -> std::optional<std::vector<std::string>> {
        return c.kind == Kind::fill ? std::optional<std::vector<std::string>>(c.entries) : std::nullopt;
    });
}

std::optional<int> RecordingUi::selection(ControlKey key) const {
    std::lock_guard lock(mutex_);
    return lastOf(calls_, key, [](const Call& c) -> std::optional<int> {
        return c.kind == Kind::fill || c.kind == Kind::select ? std::optional<int>(c.index) : std::nullopt;
    });
}

std::vector<UiMessage> RecordingUi::posted() const {
    std::lock_guard lock(mutex_);
    std::vector<UiMessage> out;
    for (const auto& c : calls_)
        if (c.kind == Kind::post) out.push_back(c.message);
    return out;
}

std::size_t RecordingUi::count(Kind kind) const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& c : calls_)
        if (c.kind == kind) ++n;
    return n;
}
