#include "app/form.h"

#include <stdexcept>

namespace tarn {

namespace {
// Runs the handler registered under the name, if any. The handler is copied
// first: it may register handlers again while it runs.
template <typename Handlers, typename... Args>
void invoke(const Handlers& handlers, const QString& name, Args... args)
{
    const auto it = handlers.find(name);
    if (it != handlers.end() && it->second) {
        const auto handler = it->second;
        handler(args...);
    }
}
} // namespace

QString Control::listText() const
{
    if (listIndex < 0 || listIndex >= static_cast<int>(rows.size()))
        return {};
    return rows[static_cast<size_t>(listIndex)].caption;
}

int FormModel::add(Control control)
{
    const int id = size();
    const auto key = std::make_pair(control.name, control.index);
    if (byKey_.contains(key))
        throw std::logic_error("duplicate control " + FormModel::key(control).toStdString());
    if (control.parent >= id)
        throw std::logic_error("container must be added before its controls");
    byKey_.emplace(key, id);
    controls_.push_back(std::move(control));
    return id;
}

Control& FormModel::window() { return controls_.at(0); }
const Control& FormModel::window() const { return controls_.at(0); }

int FormModel::idOf(const QString& name, int index) const
{
    const auto it = byKey_.find(std::make_pair(name, index));
    return it == byKey_.end() ? -1 : it->second;
}

Control* FormModel::find(const QString& name, int index)
{
    const int id = idOf(name, index);
    return id < 0 ? nullptr : &controls_[static_cast<size_t>(id)];
}

const Control* FormModel::find(const QString& name, int index) const
{
    const int id = idOf(name, index);
    return id < 0 ? nullptr : &controls_[static_cast<size_t>(id)];
}

Control& FormModel::operator()(const QString& name, int index)
{
    if (Control* c = find(name, index))
        return *c;
    throw std::out_of_range("no control " + key(name, index).toStdString());
}

const Control& FormModel::operator()(const QString& name, int index) const
{
    if (const Control* c = find(name, index))
        return *c;
    throw std::out_of_range("no control " + key(name, index).toStdString());
}

std::vector<int> FormModel::children(int id) const
{
    std::vector<int> result;
    for (int i = 0; i < size(); ++i)
        if (controls_[static_cast<size_t>(i)].parent == id && i != id)
            result.push_back(i);
    return result;
}

std::vector<int> FormModel::group(const QString& name) const
{
    std::vector<int> result;
    for (auto it = byKey_.lower_bound(std::make_pair(name, kNoIndex + 1));
         it != byKey_.end() && it->first.first == name; ++it)
        result.push_back(it->second);
    return result;
}

QString FormModel::key(const QString& name, int index)
{
    return index == kNoIndex ? name : QStringLiteral("%1(%2)").arg(name).arg(index);
}

bool FormModel::shown(int id) const
{
    for (int i = id; i >= 0; i = controls_[static_cast<size_t>(i)].parent) {
        if (!controls_[static_cast<size_t>(i)].visible)
            return false;
        if (i == 0)
            break;
    }
    return true;
}

void FormModel::onClick(const QString& name, IndexHandler handler) { click_[name] = std::move(handler); }
void FormModel::onMouseDown(const QString& name, MouseHandler handler) { mouseDown_[name] = std::move(handler); }
void FormModel::onMouseUp(const QString& name, IndexHandler handler) { mouseUp_[name] = std::move(handler); }
void FormModel::onTimer(const QString& name, std::function<void()> handler) { timer_[name] = std::move(handler); }
void FormModel::onChange(const QString& name, IndexHandler handler) { change_[name] = std::move(handler); }

void FormModel::raiseClick(const QString& name, int index)
{
    invoke(click_, name, index);
}

void FormModel::setOptionValue(const QString& name, int index, bool value)
{
    Control& option = (*this)(name, index);
    if (!value) {
        option.value = false;
        return;
    }
    if (option.value)
        return;
    for (Control& other : controls_)
        if (&other != &option && other.kind == Kind::OptionButton && other.parent == option.parent)
            other.value = false;
    option.value = true;
    raiseClick(name, index);
}

void FormModel::setListIndex(const QString& name, int index, int row)
{
    Control& list = (*this)(name, index);
    if (row < -1 || row >= static_cast<int>(list.rows.size()))
        throw std::out_of_range("no row " + std::to_string(row) + " in " + key(name, index).toStdString());
    if (list.listIndex == row)
        return;
    list.listIndex = row;
    if (list.kind == Kind::ListBox)
        raiseClick(name, index);
}

void FormModel::setLatchValue(const QString& name, int index, int latch)
{
    (*this)(name, index).latchValue = latch;
}

void FormModel::setFocus(const QString& name, int index)
{
    focus_ = idOf(name, index);
    ++focusRequests_;
}

void FormModel::operatorClick(const QString& name, int index)
{
    Control& c = (*this)(name, index);
    if (!enabledForInput(c))
        return;
    if (c.kind == Kind::OptionButton) {
        if (!c.value) {
            setOptionValue(name, index, true);  // raises the click action
            return;
        }
    } else if (c.kind == Kind::CommandButton && c.latching) {
        c.latchValue = c.latchValue == 0 ? 1 : 0;
    }
    raiseClick(name, index);
}

void FormModel::operatorMouseDown(const QString& name, int index, int button)
{
    if (!enabledForInput((*this)(name, index)))
        return;
    invoke(mouseDown_, name, index, button);
}

void FormModel::operatorMouseUp(const QString& name, int index)
{
    if (!enabledForInput((*this)(name, index)))
        return;
    invoke(mouseUp_, name, index);
}

void FormModel::operatorSelectRow(const QString& name, int index, int row)
{
    Control& list = (*this)(name, index);
    if (!enabledForInput(list) || row < 0 || row >= static_cast<int>(list.rows.size()))
        return;
    list.listIndex = row;
    if (list.kind == Kind::ListBox)
        raiseClick(name, index);
}

void FormModel::operatorEditText(const QString& name, int index, const QString& text)
{
    Control& box = (*this)(name, index);
    if (!enabledForInput(box) || box.caption == text)
        return;
    box.caption = text;
    invoke(change_, name, index);
}

void FormModel::timerTick(const QString& name)
{
    const Control& timer = (*this)(name);
    if (!timer.enabled)
        return;
    invoke(timer_, name);
}

bool FormModel::acceptsInput(const QString& name, int index) const
{
    const Control* c = find(name, index);
    return c && enabledForInput(*c);
}

bool FormModel::enabledForInput(const Control& c) const
{
    // A disabled window or container takes no input, nor do hidden controls.
    const int id = static_cast<int>(&c - controls_.data());
    if (!shown(id))
        return false;
    for (int i = id; i >= 0; i = controls_[static_cast<size_t>(i)].parent) {
        if (!controls_[static_cast<size_t>(i)].enabled)
            return false;
        if (i == 0)
            break;
    }
    return true;
}

} // namespace tarn
