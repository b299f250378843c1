// A menu-style picker of the mixer: a closed box showing the chosen entry and a list to
// choose from. It takes the mouse wheel only once it has focus (clicked or tabbed to), so a
// wheel over the mixer scrolls the mixer; Escape with its list open closes only the list.
// An entry too long for the closed box is cut with "…" before its kept end (a device's
// connection, " (Unavailable)"), and every entry shows its whole text as its tool tip.
// Main thread only; owned by its parent widget.
#pragma once

#include <QComboBox>

#include <functional>
#include <string>

namespace tonvale {

class MenuPicker final : public QComboBox {
public:
    explicit MenuPicker(QWidget* parent = nullptr);

    // An entry whose title ends with keptEnd, which stays visible when the title is cut.
    void addEntry(const std::string& title, const std::string& keptEnd = {});
    [[nodiscard]] bool isListOpen() const;
    // The chosen entry as the closed box shows it: whole, or cut to fit.
    [[nodiscard]] QString shownText() const;
    // Called whenever the list closes, chosen from or not.
    void setListClosedAction(std::function<void()> action) { listClosed_ = std::move(action); }

protected:
    bool event(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> listClosed_;
};

}  // namespace tonvale
