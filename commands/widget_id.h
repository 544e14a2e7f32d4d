#pragma once

namespace kalvenor {

// Fixed identifiers of the widgets; every widget also carries its name as objectName.
enum class WidgetId : int {
    RtuPortCombo = 1000,
    BaudCombo = 1001,
    ParityCombo = 1002,
    DataBitsCombo = 1003,
    StopBitsCombo = 1004,
    SlaveIdSpin = 1005,
    RtuTimeoutSpin = 1006,
    ScanButton = 1007,
    ConnectButton = 1008,
    DisconnectButton = 1009,
    TabPanel = 1011,
    RtuReadTypeCombo = 1012,
    RtuReadStartField = 1013,
    RtuReadCountField = 1014,
    RtuReadButton = 1015,
    RtuRegisterList = 1016,
    RtuWriteAddressField = 1017,
    RtuWriteValueField = 1018,
    RtuWriteSingleButton = 1019,
    RtuWriteStartField = 1020,
    RtuWriteValuesField = 1021,
    RtuWriteMultipleButton = 1022,
    LogList = 1023,
    WebLink = 1024,
    ClearLogButton = 1026,
    TcpHostField = 1027,
    TcpPortField = 1028,
    TcpTimeoutSpin = 1029,
    TcpConnectButton = 1030,
    TcpDisconnectButton = 1031,
    TcpReadTypeCombo = 1032,
    TcpReadStartField = 1033,
    TcpReadCountField = 1034,
    TcpReadButton = 1035,
    TcpRegisterList = 1036,
    TcpWriteAddressField = 1037,
    TcpWriteValueField = 1038,
    TcpWriteSingleButton = 1039,
    TcpWriteStartField = 1040,
    TcpWriteValuesField = 1041,
    TcpWriteMultipleButton = 1042,
    TerminalView = 1043,
    LineEndFrame = 1044,
    LineEndNoneOption = 1045,
    LineEndLfOption = 1046,
    LineEndCrOption = 1047,
    LineEndCrLfOption = 1048,
    TerminalInputField = 1049,
    TerminalSendButton = 1050,
    OptionsFrame = 1051,
    HandshakeCombo = 1052,
    // Info window
    DonateImage = 2100,
    InfoText = 2101,
};

// Menu commands: menu items, shortcuts and popup items all arrive as one of these.
enum class MenuCommand : int {
    InfoMenuItem = 2000,
    SendShortcut = 2001,
    HistoryBackShortcut = 2002,
    HistoryForwardShortcut = 2003,
    CopyAddressHex = 4100,
    CopyAddressDec = 4101,
    CopyValueHex = 4102,
    CopyValueDec = 4103,
    CopyRow = 4104,
    ExportCsv = 4105,
};

// Tab positions of TabPanel.
enum TabIndex : int {
    RtuReadTab = 0,
    RtuWriteTab = 1,
    TcpReadTab = 2,
    TcpWriteTab = 3,
    SerialTerminalTab = 4,
};

} // namespace kalvenor
