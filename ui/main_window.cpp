#include "ui/main_window.h"

#include "ui/clickable_image.h"
#include "ui/info_window.h"
#include "ui/log_view.h"
#include "ui/pictures_decode.h"
#include "ui/status_text.h"
#include "ui/web_addresses.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace kalvenor {

namespace {

constexpr int openingWidth = 1160;
constexpr int openingHeight = 700;
constexpr int leastInnerHeight = 480;
constexpr int tabPanelTop = 130;
constexpr int logListLeft = 720;
constexpr int logoWidth = 200;
constexpr int logoHeight = 47;

QString qs(const std::string& text) { return QString::fromStdString(text); }
std::string ss(const QString& text) { return text.toStdString(); }

} // namespace

MainWindow::MainWindow(AppState& app, OperatorDialogs& dialogs, const WindowPictures& pictures)
    : QMainWindow(nullptr,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
    , m_app(app)
    , m_dialogs(dialogs)
{
    // Opened at 1160 x 700, centred; the menu bar and status bar share that height.
    setObjectName("MainWindow");
    setWindowTitle("Kalvenor");
    m_central = new QWidget(this);
    m_central->setObjectName("ClientArea");
    setCentralWidget(m_central);
    resize(openingWidth, openingHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(openingWidth / 2, openingHeight / 2));
    }

    QMenu* menu = menuBar()->addMenu("Menü");
    QAction* info = menu->addAction("Info...");
    info->setObjectName("InfoMenuItem");
    connect(info, &QAction::triggered, this, [this] {
        if (m_sink)
            m_sink->menuCommand(static_cast<int>(MenuCommand::InfoMenuItem));
    });

    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    m_rtuStatus = new QLabel(bar);
    m_rtuStatus->setObjectName("RtuStatusField");
    m_rtuStatus->setFixedWidth(380);
    m_tcpStatus = new QLabel(bar);
    m_tcpStatus->setObjectName("TcpStatusField");
    bar->addWidget(m_rtuStatus);
    bar->addWidget(m_tcpStatus, 1);
    m_app.statusBarPresent = true;

    const int W = innerWidth();
    const int H = innerHeight();

    const QImage icon = decodeIconFile(pictures.icon.data(), pictures.icon.size());
    if (!icon.isNull())
        setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    m_donatePicture
        = QImage::fromData(pictures.donate.data(), static_cast<int>(pictures.donate.size()), "GIF");

    setMinimumSize(1060, leastInnerHeight);
    buildSerialRow();

    const QImage logo = decodeJpeg(pictures.logo.data(), pictures.logo.size());
    if (!logo.isNull()) {
        auto* web = new ClickableImage(logo, m_central);
        web->setObjectName("WebLink");
        web->setProperty("widgetId", static_cast<int>(WidgetId::WebLink));
        web->setGeometry(W - 20 - logoWidth, 28 + 24 + 10, logoWidth, logoHeight);
        web->setToolTip(MakerWebAddress);
        m_widgets[static_cast<int>(WidgetId::WebLink)] = web;
    }

    // The window is made exactly as wide as the serial row needs.
    const QWidget* disconnect = widget(WidgetId::DisconnectButton);
    const int needed = disconnect->geometry().right() + 1 + 10;
    if (W != needed)
        resize(needed, height());
    setMinimumSize(needed, leastInnerHeight);

    widget(WidgetId::RtuPortCombo)->setToolTip("Serieller Port (z. B. COM3 oder /dev/ttyUSB0)");
    widget(WidgetId::BaudCombo)->setToolTip("Baudrate");
    widget(WidgetId::ParityCombo)->setToolTip("Parität: None / Even / Odd");
    widget(WidgetId::DataBitsCombo)->setToolTip("Datenbits: 7 oder 8");
    widget(WidgetId::StopBitsCombo)->setToolTip("Stoppbits: 1 oder 2");
    widget(WidgetId::SlaveIdSpin)->setToolTip("Unit/Slave-ID (1..247)");
    widget(WidgetId::RtuTimeoutSpin)->setToolTip("Gesamt-Timeout für RX in Millisekunden");

    buildTcpRow();
    buildTabs();
    m_tabs->resize(m_tabs->width(), H - statusBarHeight() - tabPanelTop - 30);
    fitRegisterList(WidgetId::RtuRegisterList);
    fitRegisterList(WidgetId::TcpRegisterList);

    const QWidget* web = widget(WidgetId::WebLink);
    const int logTop = web ? web->geometry().bottom() + 1 + 10 : 28 + 24 + 2 * 10;
    m_log = place<LogView>(m_central, WidgetId::LogList, "LogList", logListLeft, logTop,
        innerWidth() - 740, H - statusBarHeight() - logTop - 45);

    auto* clear = place<QPushButton>(m_central, WidgetId::ClearLogButton, "ClearLogButton",
        m_log->x(), web ? web->y() + (web->height() - 26) / 2 : logTop - 10 - 26, 110, 26);
    clear->setText("Log löschen");
    clear->setToolTip("Inhalt der rechten Liste löschen");

    auto* baud = static_cast<QComboBox*>(widget(WidgetId::BaudCombo));
    baud->addItems({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"});
    baud->setCurrentIndex(3);
    auto* parity = static_cast<QComboBox*>(widget(WidgetId::ParityCombo));
    parity->addItems({"None", "Even", "Odd"});
    const int parityItem = m_app.modbus.serial.parity == 2 ? 1
        : m_app.modbus.serial.parity == 1                  ? 2
                                                           : 0;
    parity->setCurrentIndex(parityItem);
    auto* dataBits = static_cast<QComboBox*>(widget(WidgetId::DataBitsCombo));
    dataBits->addItems({"7", "8"});
    dataBits->setCurrentIndex(1);
    auto* stopBits = static_cast<QComboBox*>(widget(WidgetId::StopBitsCombo));
    stopBits->addItems({"1", "2"});
    stopBits->setCurrentIndex(0);
    static_cast<QSpinBox*>(widget(WidgetId::SlaveIdSpin))->setValue(m_app.modbus.slaveId);
    static_cast<QSpinBox*>(widget(WidgetId::RtuTimeoutSpin))
        ->setValue(m_app.modbus.serial.rxTimeoutMs);

    m_pollTimer = new QTimer(this);
    m_pollTimer->setObjectName("TerminalPollTimer");
    m_pollTimer->setInterval(50);
    connect(m_pollTimer, &QTimer::timeout, this, [this] {
        if (m_sink)
            m_sink->timerTick();
    });

    // Connected last, so that the start values set above raise no events.
    connectEvents();
}

MainWindow::~MainWindow()
{
    // The Info window has no parent; it goes with the main window.
    delete m_infoWindow.data();
    // Widgets being taken down still signal (a focus change, a tab removed). Those signals must
    // reach neither the dispatch, which may already be gone, nor this half-destroyed window:
    // the widgets go first, while this is still whole, and report to nobody.
    m_sink = nullptr;
    QObject::disconnect(m_focusConnection);
    delete m_central;
    m_central = nullptr;
    m_log = nullptr;
}

template <class T>
T* MainWindow::place(
    QWidget* parent, WidgetId id, const char* name, int x, int y, int width, int height)
{
    auto* widget = new T(parent);
    widget->setObjectName(name);
    widget->setProperty("widgetId", static_cast<int>(id));
    widget->setGeometry(x, y, width, height);
    m_widgets[static_cast<int>(id)] = widget;
    return widget;
}

QWidget* MainWindow::label(QWidget* parent, const char* text, int x, int y, int width, int height)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(x, y, width, height);
    return label;
}

void MainWindow::buildSerialRow()
{
    QWidget* c = m_central;
    label(c, "RTU Port", 10, 10, 210, 16);
    auto* port = place<QComboBox>(c, WidgetId::RtuPortCombo, "RtuPortCombo", 10, 28, 210, 24);
    port->setEditable(true);
    port->setInsertPolicy(QComboBox::NoInsert);
    label(c, "Baudrate", 230, 10, 90, 16);
    place<QComboBox>(c, WidgetId::BaudCombo, "BaudCombo", 230, 28, 90, 24);
    label(c, "Parität", 330, 10, 90, 16);
    place<QComboBox>(c, WidgetId::ParityCombo, "ParityCombo", 330, 28, 90, 24);
    label(c, "Datenbits", 430, 10, 80, 16);
    place<QComboBox>(c, WidgetId::DataBitsCombo, "DataBitsCombo", 430, 28, 80, 24);
    label(c, "Stoppbits", 520, 10, 80, 16);
    place<QComboBox>(c, WidgetId::StopBitsCombo, "StopBitsCombo", 520, 28, 80, 24);
    label(c, "Slave-ID", 610, 10, 70, 16);
    auto* slave = place<QSpinBox>(c, WidgetId::SlaveIdSpin, "SlaveIdSpin", 610, 28, 70, 24);
    slave->setRange(1, 247);
    slave->setAlignment(Qt::AlignRight);
    label(c, "Timeout (ms)", 690, 10, 90, 16);
    auto* timeout = place<QSpinBox>(c, WidgetId::RtuTimeoutSpin, "RtuTimeoutSpin", 690, 28, 80, 24);
    timeout->setRange(50, 5000);
    timeout->setAlignment(Qt::AlignRight);

    // The buttons follow the spin field's actual right edge, 10 apart.
    const int scanX = timeout->geometry().right() + 1 + 10;
    auto* scan = place<QPushButton>(c, WidgetId::ScanButton, "ScanButton", scanX, 28, 84, 24);
    scan->setText("Scannen");
    const int connectX = scan->geometry().right() + 1 + 10;
    auto* connectButton
        = place<QPushButton>(c, WidgetId::ConnectButton, "ConnectButton", connectX, 28, 88, 24);
    connectButton->setText("Verbinden");
    const int disconnectX = connectButton->geometry().right() + 1 + 10;
    auto* disconnectButton = place<QPushButton>(
        c, WidgetId::DisconnectButton, "DisconnectButton", disconnectX, 28, 96, 24);
    disconnectButton->setText("Trennen");
}

void MainWindow::buildTcpRow()
{
    QWidget* c = m_central;
    label(c, "TCP Host/IP", 10, 62, 80, 16);
    auto* host = place<QLineEdit>(c, WidgetId::TcpHostField, "TcpHostField", 10, 80, 210, 24);
    host->setText(qs(m_app.modbus.tcp.host));
    label(c, "Port", 230, 62, 50, 16);
    auto* port = place<QLineEdit>(c, WidgetId::TcpPortField, "TcpPortField", 230, 80, 80, 24);
    port->setText(QString::number(m_app.modbus.tcp.port));
    label(c, "Timeout (ms)", 320, 62, 90, 16);
    auto* timeout = place<QSpinBox>(c, WidgetId::TcpTimeoutSpin, "TcpTimeoutSpin", 320, 80, 80, 24);
    timeout->setRange(50, 5000);
    timeout->setAlignment(Qt::AlignRight);
    timeout->setValue(static_cast<int>(m_app.modbus.tcp.timeoutMs));
    place<QPushButton>(c, WidgetId::TcpConnectButton, "TcpConnectButton", 410, 80, 100, 24)
        ->setText("TCP verbinden");
    place<QPushButton>(c, WidgetId::TcpDisconnectButton, "TcpDisconnectButton", 520, 80, 100, 24)
        ->setText("TCP trennen");
}

void MainWindow::buildTabs()
{
    m_tabs = place<QTabWidget>(
        m_central, WidgetId::TabPanel, "TabPanel", 10, tabPanelTop, 700, innerHeight() - 150);
    const char* titles[] = {"RTU Lesen", "RTU Schreiben", "TCP Lesen", "TCP Schreiben", "Seriell"};
    QWidget* pages[5];
    for (int i = 0; i < 5; ++i) {
        pages[i] = new QWidget;
        m_tabs->addTab(pages[i], titles[i]);
    }
    buildReadTab(pages[RtuReadTab], false);
    buildWriteTab(pages[RtuWriteTab], false);
    buildReadTab(pages[TcpReadTab], true);
    buildWriteTab(pages[TcpWriteTab], true);
    buildTerminalTab(pages[SerialTerminalTab]);
    m_tabs->setCurrentIndex(RtuReadTab);
}

void MainWindow::buildReadTab(QWidget* page, bool tcp)
{
    label(page, "Typ:", 20, 12, 80, 20);
    auto* type
        = place<QComboBox>(page, tcp ? WidgetId::TcpReadTypeCombo : WidgetId::RtuReadTypeCombo,
            tcp ? "TcpReadTypeCombo" : "RtuReadTypeCombo", 140, 10, 150, 24);
    type->addItems({"Holding (FC 03)", "Input (FC 04)"});
    type->setCurrentIndex(0);
    label(page, "Startadresse (dez.):", 20, 44, 110, 20);
    place<QLineEdit>(page, tcp ? WidgetId::TcpReadStartField : WidgetId::RtuReadStartField,
        tcp ? "TcpReadStartField" : "RtuReadStartField", 140, 40, 120, 24)
        ->setText("0");
    label(page, "Anzahl:", 300, 44, 60, 20);
    place<QLineEdit>(page, tcp ? WidgetId::TcpReadCountField : WidgetId::RtuReadCountField,
        tcp ? "TcpReadCountField" : "RtuReadCountField", 360, 40, 80, 24)
        ->setText("2");
    place<QPushButton>(page, tcp ? WidgetId::TcpReadButton : WidgetId::RtuReadButton,
        tcp ? "TcpReadButton" : "RtuReadButton", 460, 40, 90, 24)
        ->setText("Lesen");

    auto* list
        = place<QTableWidget>(page, tcp ? WidgetId::TcpRegisterList : WidgetId::RtuRegisterList,
            tcp ? "TcpRegisterList" : "RtuRegisterList", 10, 80, 670, 360);
    list->setColumnCount(5);
    list->setHorizontalHeaderLabels({"Adresse hex.", "Adresse dez.", "Wert hex.", "Wert dez.", ""});
    const int widths[] = {120, 120, 120, 120, 187};
    for (int column = 0; column < 5; ++column)
        list->setColumnWidth(column, widths[column]);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->verticalHeader()->hide();
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(true);
    list->setWordWrap(false);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
}

void MainWindow::buildWriteTab(QWidget* page, bool tcp)
{
    auto* single = new QGroupBox("Einzelnes Register (FC 06)", page);
    single->setGeometry(20, 10, 650, 110);
    label(page, "Adresse (dez.):", 35, 40, 100, 20);
    place<QLineEdit>(page, tcp ? WidgetId::TcpWriteAddressField : WidgetId::RtuWriteAddressField,
        tcp ? "TcpWriteAddressField" : "RtuWriteAddressField", 140, 36, 120, 24)
        ->setText("0");
    label(page, "Wert:", 285, 40, 60, 20);
    place<QLineEdit>(page, tcp ? WidgetId::TcpWriteValueField : WidgetId::RtuWriteValueField,
        tcp ? "TcpWriteValueField" : "RtuWriteValueField", 365, 36, 100, 24)
        ->setText("0");
    place<QPushButton>(page, tcp ? WidgetId::TcpWriteSingleButton : WidgetId::RtuWriteSingleButton,
        tcp ? "TcpWriteSingleButton" : "RtuWriteSingleButton", 520, 36, 120, 24)
        ->setText("Schreiben");

    auto* multiple = new QGroupBox("Mehrere Register (FC 16)", page);
    multiple->setGeometry(20, 140, 650, 110);
    label(page, "Startadresse (dez.):", 35, 170, 120, 20);
    place<QLineEdit>(page, tcp ? WidgetId::TcpWriteStartField : WidgetId::RtuWriteStartField,
        tcp ? "TcpWriteStartField" : "RtuWriteStartField", 140, 166, 120, 24)
        ->setText("0");
    label(page, "Werte (CSV):", 285, 170, 80, 20);
    place<QLineEdit>(page, tcp ? WidgetId::TcpWriteValuesField : WidgetId::RtuWriteValuesField,
        tcp ? "TcpWriteValuesField" : "RtuWriteValuesField", 365, 166, 130, 24)
        ->setText("10,20,30");
    place<QPushButton>(page,
        tcp ? WidgetId::TcpWriteMultipleButton : WidgetId::RtuWriteMultipleButton,
        tcp ? "TcpWriteMultipleButton" : "RtuWriteMultipleButton", 520, 166, 120, 24)
        ->setText("Schreiben");
}

void MainWindow::buildTerminalTab(QWidget* page)
{
    m_terminal
        = place<QPlainTextEdit>(page, WidgetId::TerminalView, "TerminalView", 10, 10, 670, 250);
    m_terminal->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_terminal->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_terminal->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The view only grows for the whole run: an undo record per entry would grow with it.
    m_terminal->setUndoRedoEnabled(false);
    place<QLineEdit>(page, WidgetId::TerminalInputField, "TerminalInputField", 10, 270, 560, 26);
    place<QPushButton>(page, WidgetId::TerminalSendButton, "TerminalSendButton", 580, 270, 100, 26)
        ->setText("Senden");
    place<QGroupBox>(page, WidgetId::LineEndFrame, "LineEndFrame", 10, 306, 670, 50)
        ->setTitle("Zeilenende");
    place<QRadioButton>(page, WidgetId::LineEndNoneOption, "LineEndNoneOption", 20, 328, 120, 20)
        ->setText("Keins");
    place<QRadioButton>(page, WidgetId::LineEndLfOption, "LineEndLfOption", 160, 328, 120, 20)
        ->setText("LF (\\n)");
    auto* cr = place<QRadioButton>(
        page, WidgetId::LineEndCrOption, "LineEndCrOption", 300, 328, 120, 20);
    cr->setText("CR (\\r)");
    place<QRadioButton>(page, WidgetId::LineEndCrLfOption, "LineEndCrLfOption", 440, 328, 120, 20)
        ->setText("CR+LF (\\r\\n)");
    cr->setChecked(true);
    place<QGroupBox>(page, WidgetId::OptionsFrame, "OptionsFrame", 10, 366, 670, 60)
        ->setTitle("Optionen");
    label(page, "Handshake:", 20, 392, 100, 20);
    auto* handshake
        = place<QComboBox>(page, WidgetId::HandshakeCombo, "HandshakeCombo", 120, 388, 90, 24);
    handshake->addItems({"None", "XON/XOFF", "RTS/CTS", "DSR/DTR"});
    const int mode = m_app.modbus.serial.handshake;
    handshake->setCurrentIndex(mode >= 0 && mode <= 3 ? mode : 0);
}

void MainWindow::raise(WidgetId id, UiEvent event)
{
    if (m_sink)
        m_sink->widgetEvent(id, event);
}

void MainWindow::connectEvents()
{
    auto* port = static_cast<QComboBox*>(widget(WidgetId::RtuPortCombo));
    connect(port->lineEdit(), &QLineEdit::textEdited, this,
        [this] { raise(WidgetId::RtuPortCombo, UiEvent::TextEdited); });
    connect(port, &QComboBox::activated, this,
        [this] { raise(WidgetId::RtuPortCombo, UiEvent::SelectionChanged); });
    // A combo box has no lost-focus signal. Opening its own drop-down moves the focus to the
    // list for a moment; that is not losing it.
    m_focusConnection = connect(
        qApp, &QApplication::focusChanged, this, [this, port](QWidget* old, QWidget* now) {
            if (old == port && now != port->view())
                raise(WidgetId::RtuPortCombo, UiEvent::FocusLost);
        });

    for (WidgetId id : {WidgetId::BaudCombo, WidgetId::ParityCombo, WidgetId::DataBitsCombo,
             WidgetId::StopBitsCombo, WidgetId::HandshakeCombo, WidgetId::RtuReadTypeCombo,
             WidgetId::TcpReadTypeCombo}) {
        connect(static_cast<QComboBox*>(widget(id)), &QComboBox::activated, this,
            [this, id] { raise(id, UiEvent::SelectionChanged); });
    }
    for (WidgetId id :
        {WidgetId::SlaveIdSpin, WidgetId::RtuTimeoutSpin, WidgetId::TcpTimeoutSpin}) {
        connect(static_cast<QSpinBox*>(widget(id)), &QSpinBox::valueChanged, this,
            [this, id] { raise(id, UiEvent::ValueChanged); });
    }
    for (WidgetId id : {WidgetId::ScanButton, WidgetId::ConnectButton, WidgetId::DisconnectButton,
             WidgetId::RtuReadButton, WidgetId::RtuWriteSingleButton,
             WidgetId::RtuWriteMultipleButton, WidgetId::ClearLogButton, WidgetId::TcpConnectButton,
             WidgetId::TcpDisconnectButton, WidgetId::TcpReadButton, WidgetId::TcpWriteSingleButton,
             WidgetId::TcpWriteMultipleButton, WidgetId::TerminalSendButton}) {
        connect(static_cast<QPushButton*>(widget(id)), &QPushButton::clicked, this,
            [this, id] { raise(id, UiEvent::Pressed); });
    }
    for (WidgetId id : {WidgetId::LineEndNoneOption, WidgetId::LineEndLfOption,
             WidgetId::LineEndCrOption, WidgetId::LineEndCrLfOption}) {
        connect(static_cast<QRadioButton*>(widget(id)), &QRadioButton::clicked, this,
            [this, id] { raise(id, UiEvent::Clicked); });
    }
    for (WidgetId id : {WidgetId::RtuRegisterList, WidgetId::TcpRegisterList}) {
        connect(static_cast<QTableWidget*>(widget(id)), &QTableWidget::customContextMenuRequested,
            this, [this, id] { raise(id, UiEvent::RightClick); });
    }
    connect(m_tabs, &QTabWidget::currentChanged, this,
        [this] { raise(WidgetId::TabPanel, UiEvent::TabChanged); });
    if (auto* web = qobject_cast<ClickableImage*>(widget(WidgetId::WebLink))) {
        connect(web, &ClickableImage::clicked, this,
            [this] { raise(WidgetId::WebLink, UiEvent::Clicked); });
    }
}

QWidget* MainWindow::widget(WidgetId id) const
{
    auto it = m_widgets.find(static_cast<int>(id));
    return it == m_widgets.end() ? nullptr : it->second;
}

int MainWindow::innerWidth() const { return width(); }

int MainWindow::innerHeight() const { return height(); }

int MainWindow::statusBarHeight() const
{
    if (!m_app.statusBarPresent)
        return 0;
    // Until the window is shown the bar has no settled height; its size hint is what it gets.
    const QStatusBar* bar = statusBar();
    return bar->isVisible() ? bar->height() : bar->sizeHint().height();
}

// The top edge of a widget in the client area's coordinates, also for widgets on a tab page.
int MainWindow::topInWindow(const QWidget* widget) const
{
    return widget->mapTo(m_central, QPoint(0, 0)).y();
}

void MainWindow::fitRegisterList(WidgetId id)
{
    QWidget* list = widget(id);
    // Every page sits at the same place in the panel, shown or not; the page stack tells where.
    const int pageTop = m_tabs->widget(0)->parentWidget()->mapTo(m_central, QPoint(0, 0)).y();
    const int listTop = pageTop + list->y();
    const int height = m_tabs->y() + m_tabs->height() - listTop - 15;
    list->resize(list->width(), std::max(80, height));
}

void MainWindow::relayout()
{
    if (!m_log)
        return; // still being built
    const int W = innerWidth();
    const int H = innerHeight();
    const int SB = statusBarHeight();

    m_tabs->resize(m_tabs->width(), H - SB - m_tabs->y() - 30);
    fitRegisterList(WidgetId::RtuRegisterList);
    fitRegisterList(WidgetId::TcpRegisterList);

    const QWidget* scan = widget(WidgetId::ScanButton);
    QWidget* web = widget(WidgetId::WebLink);
    if (web)
        web->move(W - 20 - web->width(), scan->y() + scan->height() + 20);

    const int logTop = web ? web->y() + web->height() + 10 : scan->y() + scan->height() + 2 * 10;
    m_log->setGeometry(
        m_log->x(), logTop, std::max(50, W - m_log->x() - 20), std::max(50, H - SB - logTop - 45));

    if (QWidget* clear = widget(WidgetId::ClearLogButton)) {
        const int y = web ? web->y() + (web->height() - clear->height()) / 2
                          : logTop - 10 - clear->height();
        clear->move(m_log->x(), y);
    }
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    relayout();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    relayout();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (m_infoWindow)
        m_infoWindow->close();
    emit closed();
}

void MainWindow::clearLog() { m_log->clear(); }

InfoWindow* MainWindow::infoWindow() const { return m_infoWindow.data(); }

void MainWindow::showInfoWindow()
{
    if (m_infoWindow) {
        m_infoWindow->raise();
        m_infoWindow->activateWindow();
        return;
    }
    m_infoWindow = new InfoWindow(m_donatePicture);
    m_infoWindow->setFont(font());
    connect(m_infoWindow, &InfoWindow::donateClicked, this,
        [this] { raise(WidgetId::DonateImage, UiEvent::Clicked); });
    if (QScreen* screen = QGuiApplication::primaryScreen())
        m_infoWindow->move(screen->availableGeometry().center() - QPoint(100, 80));
    m_infoWindow->show();
    m_infoWindow->activateWindow();
}

// ---- OperatorView ----

std::string MainWindow::text(WidgetId id) const
{
    QWidget* w = widget(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return ss(edit->text());
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return ss(combo->currentText());
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        return ss(plain->toPlainText());
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return ss(button->text());
    return {};
}

void MainWindow::setText(WidgetId id, const std::string& text)
{
    QWidget* w = widget(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(qs(text));
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->setEditText(qs(text));
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        plain->setPlainText(qs(text));
}

int MainWindow::currentIndex(WidgetId id) const
{
    QWidget* w = widget(id);
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentIndex();
    if (auto* tabs = qobject_cast<QTabWidget*>(w))
        return tabs->currentIndex();
    return -1;
}

void MainWindow::setCurrentIndex(WidgetId id, int index)
{
    QWidget* w = widget(id);
    if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->setCurrentIndex(index);
    else if (auto* tabs = qobject_cast<QTabWidget*>(w))
        tabs->setCurrentIndex(index);
}

int MainWindow::spinValue(WidgetId id) const
{
    auto* spin = qobject_cast<QSpinBox*>(widget(id));
    return spin ? spin->value() : 0;
}

bool MainWindow::isChecked(WidgetId id) const
{
    auto* button = qobject_cast<QAbstractButton*>(widget(id));
    return button && button->isChecked();
}

bool MainWindow::hasFocus(WidgetId id) const
{
    QWidget* w = widget(id);
    return w && w->hasFocus();
}

void MainWindow::setFocus(WidgetId id)
{
    if (QWidget* w = widget(id))
        w->setFocus(Qt::OtherFocusReason);
}

void MainWindow::clearItems(WidgetId id)
{
    if (auto* combo = qobject_cast<QComboBox*>(widget(id)))
        combo->clear();
}

void MainWindow::addItem(WidgetId id, const std::string& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(widget(id)))
        combo->addItem(qs(text));
}

int MainWindow::itemCount(WidgetId id) const
{
    auto* combo = qobject_cast<QComboBox*>(widget(id));
    return combo ? combo->count() : 0;
}

std::string MainWindow::itemText(WidgetId id, int index) const
{
    auto* combo = qobject_cast<QComboBox*>(widget(id));
    if (!combo || index < 0 || index >= combo->count())
        return {};
    return ss(combo->itemText(index));
}

void MainWindow::setRegisterRows(WidgetId id, const std::vector<RegisterRow>& rows)
{
    auto* list = qobject_cast<QTableWidget*>(widget(id));
    if (!list)
        return;
    list->clearContents();
    list->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        for (int column = 0; column < 4; ++column) {
            list->setItem(row, column,
                new QTableWidgetItem(
                    qs(rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)])));
        }
    }
}

int MainWindow::rowCount(WidgetId id) const
{
    auto* list = qobject_cast<QTableWidget*>(widget(id));
    return list ? list->rowCount() : 0;
}

std::string MainWindow::cellText(WidgetId id, int row, int column) const
{
    auto* list = qobject_cast<QTableWidget*>(widget(id));
    if (!list)
        return {};
    const QTableWidgetItem* item = list->item(row, column);
    return item ? ss(item->text()) : std::string();
}

int MainWindow::selectedRow(WidgetId id) const
{
    auto* list = qobject_cast<QTableWidget*>(widget(id));
    if (!list || !list->selectionModel())
        return -1;
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MainWindow::appendLog(const std::string& text)
{
    // Converting to local time costs more than the rest of an append; it is done once a second.
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != m_stampSecond) {
        tm local {};
        localtime_r(&now.tv_sec, &local);
        m_stamp = {local.tm_hour, local.tm_min, local.tm_sec};
        m_stampSecond = now.tv_sec;
    }
    m_log->appendLine(qs(logLine(m_stamp[0], m_stamp[1], m_stamp[2], text)));
}

void MainWindow::refreshStatusBar()
{
    const std::string rtu = rtuStatusText(m_app.modbus.serial);
    const std::string tcp = tcpStatusText(m_app.modbus.tcp);
    if (!m_app.statusBarPresent)
        return;
    m_rtuStatus->setText(qs(rtu));
    m_tcpStatus->setText(qs(tcp));
}

void MainWindow::terminalAppend(const std::string& text)
{
    // CR LF and a lone CR inside the text both show as one line break.
    QString entry = qs(text);
    entry.replace("\r\n", "\n");
    entry.replace('\r', '\n');
    QTextCursor cursor(m_terminal->document());
    cursor.movePosition(QTextCursor::End);
    if (!m_terminal->document()->isEmpty())
        entry.prepend('\n');
    cursor.insertText(entry);
    m_terminal->setTextCursor(cursor);
    m_terminal->ensureCursorVisible();
}

} // namespace kalvenor
