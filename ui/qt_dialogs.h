#pragma once

#include "commands/operator_view.h"

#include <QString>

class QWidget;

namespace kalvenor {

// A "display|pattern" filter in Qt's "display (pattern)" form.
QString qtFileFilter(const std::string& filter);

// The blocking interactions with real Qt dialogs, owned by the given window.
class QtDialogs : public OperatorDialogs
{
public:
    void setOwner(QWidget* owner) { m_owner = owner; }

    void messageBox(const std::string& title, const std::string& text) override;
    std::string saveFileName(const std::string& title, const std::string& defaultName,
        const std::string& filter) override;
    int popupMenu(const std::vector<MenuEntry>& entries) override;
    void setClipboardText(const std::string& text) override;
    void openWebPage(const std::string& address) override;

private:
    QWidget* m_owner = nullptr;
};

} // namespace kalvenor
