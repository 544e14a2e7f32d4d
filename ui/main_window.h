#pragma once

#include "commands/operator_view.h"
#include "resources/pictures.h"
#include "ui/app_state.h"
#include "ui/ui_event.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>

class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace kalvenor {

class InfoWindow;
class LogView;

// The picture bytes the window is built from; tests pass broken ones.
struct WindowPictures
{
    std::span<const std::uint8_t> icon = AppIconData;
    std::span<const std::uint8_t> logo = LogoImageData;
    std::span<const std::uint8_t> donate = DonateImageData;
};

// The main window: every widget placed by hand in fixed logical pixels, found by its
// identifier. Widget events go to the event sink; nothing here runs a command itself.
class MainWindow : public QMainWindow, public OperatorView
{
    Q_OBJECT

public:
    MainWindow(AppState& app, OperatorDialogs& dialogs, const WindowPictures& pictures = {});
    ~MainWindow() override;

    void setEventSink(UiEventSink* sink) { m_sink = sink; }

    // OperatorView
    std::string text(WidgetId id) const override;
    void setText(WidgetId id, const std::string& text) override;
    int currentIndex(WidgetId id) const override;
    void setCurrentIndex(WidgetId id, int index) override;
    int spinValue(WidgetId id) const override;
    bool isChecked(WidgetId id) const override;
    bool hasFocus(WidgetId id) const override;
    void setFocus(WidgetId id) override;
    void clearItems(WidgetId id) override;
    void addItem(WidgetId id, const std::string& text) override;
    int itemCount(WidgetId id) const override;
    std::string itemText(WidgetId id, int index) const override;
    void setRegisterRows(WidgetId list, const std::vector<RegisterRow>& rows) override;
    int rowCount(WidgetId list) const override;
    std::string cellText(WidgetId list, int row, int column) const override;
    int selectedRow(WidgetId list) const override;
    void appendLog(const std::string& text) override;
    void refreshStatusBar() override;
    void terminalAppend(const std::string& text) override;
    OperatorDialogs& dialogs() override { return m_dialogs; }

    // The size-change rule: tab panel, register lists, logo, log list and its button.
    void relayout();
    // Stretches a register list down to 15 above the tab panel's bottom edge (at least 80).
    void fitRegisterList(WidgetId list);
    void clearLog();
    // Opens the Info window, or brings the open one to the front.
    void showInfoWindow();
    InfoWindow* infoWindow() const;

    QWidget* widget(WidgetId id) const;
    LogView* logView() const { return m_log; }
    QTimer* pollTimer() const { return m_pollTimer; }

    // The three numbers the layout rules work in: W, the inner width; H, the inner height
    // (client area plus the menu bar line); SB, the status bar's height, 0 without one.
    int innerWidth() const;
    int innerHeight() const;
    int statusBarHeight() const;

signals:
    // The operator closed the main window.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    template <class T>
    T* place(QWidget* parent, WidgetId id, const char* name, int x, int y, int width, int height);
    QWidget* label(QWidget* parent, const char* text, int x, int y, int width, int height);
    void buildSerialRow();
    void buildTcpRow();
    void buildTabs();
    void buildReadTab(QWidget* page, bool tcp);
    void buildWriteTab(QWidget* page, bool tcp);
    void buildTerminalTab(QWidget* page);
    void connectEvents();
    void raise(WidgetId id, UiEvent event);
    int topInWindow(const QWidget* widget) const;

    AppState& m_app;
    OperatorDialogs& m_dialogs;
    UiEventSink* m_sink = nullptr;
    std::unordered_map<int, QWidget*> m_widgets;
    QWidget* m_central = nullptr;
    QTabWidget* m_tabs = nullptr;
    LogView* m_log = nullptr;
    QPlainTextEdit* m_terminal = nullptr;
    QLabel* m_rtuStatus = nullptr;
    QLabel* m_tcpStatus = nullptr;
    QTimer* m_pollTimer = nullptr;
    QImage m_donatePicture;
    QPointer<InfoWindow> m_infoWindow;
    QMetaObject::Connection m_focusConnection;
    long long m_stampSecond = -1; // the second m_stamp was taken in
    std::array<int, 3> m_stamp {}; // local hour, minute, second
};

} // namespace kalvenor
