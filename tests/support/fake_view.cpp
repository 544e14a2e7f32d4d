#include "tests/support/fake_view.h"

namespace kalvenor::test {

FakeView::FakeView()
{
    texts[WidgetId::RtuPortCombo] = "";
    texts[WidgetId::BaudCombo] = "9600";
    indexes[WidgetId::BaudCombo] = 3;
    items[WidgetId::BaudCombo] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    indexes[WidgetId::ParityCombo] = 0;
    indexes[WidgetId::DataBitsCombo] = 1;
    indexes[WidgetId::StopBitsCombo] = 0;
    indexes[WidgetId::HandshakeCombo] = 0;
    spins[WidgetId::SlaveIdSpin] = 1;
    spins[WidgetId::RtuTimeoutSpin] = 800;
    texts[WidgetId::TcpHostField] = "127.0.0.1";
    texts[WidgetId::TcpPortField] = "502";
    spins[WidgetId::TcpTimeoutSpin] = 1200;
    indexes[WidgetId::TabPanel] = RtuReadTab;
    for (WidgetId id : {WidgetId::RtuReadTypeCombo, WidgetId::TcpReadTypeCombo})
        indexes[id] = 0;
    for (WidgetId id : {WidgetId::RtuReadStartField, WidgetId::TcpReadStartField,
             WidgetId::RtuWriteAddressField, WidgetId::TcpWriteAddressField,
             WidgetId::RtuWriteValueField, WidgetId::TcpWriteValueField,
             WidgetId::RtuWriteStartField, WidgetId::TcpWriteStartField})
        texts[id] = "0";
    texts[WidgetId::RtuReadCountField] = "2";
    texts[WidgetId::TcpReadCountField] = "2";
    texts[WidgetId::RtuWriteValuesField] = "10,20,30";
    texts[WidgetId::TcpWriteValuesField] = "10,20,30";
    texts[WidgetId::TerminalInputField] = "";
    checked[WidgetId::LineEndCrOption] = true;
}

std::string FakeView::text(WidgetId id) const
{
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
}

int FakeView::currentIndex(WidgetId id) const
{
    auto it = indexes.find(id);
    return it == indexes.end() ? -1 : it->second;
}

void FakeView::setCurrentIndex(WidgetId id, int index)
{
    indexes[id] = index;
    // A combo box shows the text of its selected entry, as the real one does.
    auto list = items.find(id);
    if (list != items.end() && index >= 0 && index < static_cast<int>(list->second.size()))
        texts[id] = list->second[static_cast<std::size_t>(index)];
}

int FakeView::spinValue(WidgetId id) const
{
    auto it = spins.find(id);
    return it == spins.end() ? 0 : it->second;
}

bool FakeView::isChecked(WidgetId id) const
{
    auto it = checked.find(id);
    return it != checked.end() && it->second;
}

int FakeView::itemCount(WidgetId id) const
{
    auto it = items.find(id);
    return it == items.end() ? 0 : static_cast<int>(it->second.size());
}

std::string FakeView::itemText(WidgetId id, int index) const
{
    auto it = items.find(id);
    if (it == items.end() || index < 0 || index >= static_cast<int>(it->second.size()))
        return {};
    return it->second[static_cast<std::size_t>(index)];
}

int FakeView::rowCount(WidgetId list) const
{
    auto it = tables.find(list);
    return it == tables.end() ? 0 : static_cast<int>(it->second.size());
}

std::string FakeView::cellText(WidgetId list, int row, int column) const
{
    auto it = tables.find(list);
    if (it == tables.end() || row < 0 || row >= static_cast<int>(it->second.size()) || column < 0
        || column > 3)
        return {};
    return it->second[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

int FakeView::selectedRow(WidgetId list) const
{
    auto it = selectedRows.find(list);
    return it == selectedRows.end() ? -1 : it->second;
}

} // namespace kalvenor::test
