#include "ui/protocol_form.h"

#include "engine/scheduler.h"
#include "platform/strings.h"
#include "ui/busy_cursor.h"
#include "ui/form_widgets.h"
#include "ui/keyboard.h"

#include <QCursor>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace {
[[maybe_unused]] constexpr vektrin::OwnWording ViewerWording[] = {
    QT_TRANSLATE_NOOP3("Vektrin", "Exit", "viewer")}; // for lupdate
} // namespace

namespace vektrin {

TProtocolForm::TProtocolForm(Scheduler& scheduler, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), model_(this) {
    setObjectName("ProtocolForm");
    setWindowTitle(qs(str::ProtocolFormCaption));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // Resizable, so a long line can be read whole; the first showing has the classic size.
    resize(592, 373);

    StringGrid1 = new LineList(model_, this);
    StringGrid1->setObjectName("StringGrid1");

    // "Закрыть" in Russian, as the other viewers' close buttons; the editors' "Exit" stays
    // "Выход".
    ExitButton = new QPushButton(qs(str::ProtocolExitButton, "viewer"), this);
    ExitButton->setObjectName("ExitButton");
    ExitButton->setAutoDefault(false);
    connect(ExitButton, &QPushButton::clicked, this, &TProtocolForm::ExitButtonClick);

    GroupBox1 = new QGroupBox(qs(str::ClearStoringGroup), this);
    GroupBox1->setObjectName("GroupBox1");
    UpDown1 = new QSpinBox(GroupBox1);
    UpDown1->setObjectName("UpDown1");
    UpDown1->setRange(0, 100);
    UpDown1->setSingleStep(1);
    UpDown1->setWrapping(false);
    UpDown1->setValue(10);
    // Text outside 0..100 or not a number cannot be typed; an emptied field falls back to the
    // last number it held.
    UpDown1->setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    if (auto* edit = UpDown1->findChild<QLineEdit*>()) edit->setObjectName("Edit1");
    ClearButton = new QPushButton(qs(str::ClearDaysButton), GroupBox1);
    ClearButton->setObjectName("ClearButton");
    ClearButton->setAutoDefault(false);
    connect(ClearButton, &QPushButton::clicked, this, &TProtocolForm::ClearButtonClick);
    giveMnemonics({ExitButton, ClearButton});

    auto* groupLayout = new QHBoxLayout(GroupBox1);
    groupLayout->addWidget(UpDown1, 1);
    groupLayout->addWidget(ClearButton, 1);

    auto* panel = new QWidget(this);
    // 121 pixels, or as wide as the clearing group's title.
    panel->setFixedWidth(std::max(121, GroupBox1->minimumSizeHint().width() + 4));
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(4, 0, 0, 0);
    panelLayout->addWidget(ExitButton);
    panelLayout->addSpacing(12);
    panelLayout->addWidget(GroupBox1);
    panelLayout->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(StringGrid1, 1);
    layout->addWidget(panel);
}

TProtocolForm::~TProtocolForm() {
    StringsDestroy();
}

void TProtocolForm::StringsCreate() {
    BusyCursor busy;
    LastProtocolDate = 0;
    const RegionalSettings& regional = scheduler_.regional();
    // The newest date is read in whichever format wrote each line, as clearing reads them.
    const ProtocolLineDates dateOf(regional.shortDateFormat,
                                   decodeDate(scheduler_.clock().now()).year);
    try {
        LastProtocolDate = model_.load(scheduler_.protocolFile().path(), dateOf);
    } catch (const std::exception& e) {
        scheduler_.reportError(e.what());
    }
    StringGrid1->fitRowsToLines();
    // The newest events are what the protocol is opened for.
    StringGrid1->scrollToBottom();
}

void TProtocolForm::StringsDestroy() {
    model_.clear();
    StringGrid1->fitRowsToLines();
}

void TProtocolForm::setVisible(bool visible) {
    if (visible && !isVisible()) {
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            const QSize frame = frameGeometry().size();
            move(area.x() + std::max(0, (area.width() - frame.width()) / 2),
                 area.y() + std::max(0, (area.height() - frame.height()) / 2));
        }
    }
    QDialog::setVisible(visible);
}

void TProtocolForm::ClearButtonClick() {
    // A number still being typed counts; an emptied field shows the number that is used.
    UpDown1->interpretText();
    UpDown1->setValue(UpDown1->value());
    {
        BusyCursor busy;
        scheduler_.ProtocolClearing(UpDown1->value(), LastProtocolDate);
    }
    StringsDestroy();
    StringsCreate();
}

void TProtocolForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    StringsCreate();
}

void TProtocolForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // The next showing reads the file again; meanwhile the lines need no memory.
    StringsDestroy();
}

} // namespace vektrin
