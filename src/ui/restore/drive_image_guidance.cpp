#include "ui/restore/drive_image_guidance.h"

#include "i18n/translation.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace morvane {

namespace {

const QColor BandColour(92, 110, 144);
const QColor TipColour(33, 131, 211);

enum class TEntryPicture { Troubleshoot, AdvancedOptions, SystemImageRecovery };

// A picture of one menu entry of the recovery environment: a tile with a simple symbol.
class TEntryPictureWidget final : public QWidget {
public:
    TEntryPictureWidget(TEntryPicture picture, QWidget* parent) : QWidget(parent), picture_(picture) {
        setFixedSize(96, 72);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF tile = QRectF(rect()).adjusted(4, 4, -4, -4);
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(BandColour.lighter(125));
        p.drawRect(tile);
        const QPointF c = tile.center();
        p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        switch (picture_) {
        case TEntryPicture::Troubleshoot: {
            // A spanner.
            p.drawLine(c + QPointF(-14, 14), c + QPointF(6, -6));
            p.drawArc(QRectF(c.x() + 1, c.y() - 19, 18, 18), 30 * 16, 270 * 16);
            break;
        }
        case TEntryPicture::AdvancedOptions: {
            // A list of settings with check marks.
            for (int row = -1; row <= 1; ++row) {
                const qreal y = c.y() + row * 12;
                p.drawLine(QPointF(c.x() - 20, y), QPointF(c.x() - 14, y));
                p.drawLine(QPointF(c.x() - 6, y), QPointF(c.x() + 22, y));
            }
            break;
        }
        case TEntryPicture::SystemImageRecovery: {
            // A drive with a circular arrow.
            p.drawRoundedRect(QRectF(c.x() - 22, c.y() + 2, 44, 14), 3, 3);
            p.drawArc(QRectF(c.x() - 10, c.y() - 22, 20, 20), 90 * 16, 270 * 16);
            QPainterPath head;
            head.moveTo(c + QPointF(0, -26));
            head.lineTo(c + QPointF(6, -22));
            head.lineTo(c + QPointF(0, -18));
            p.drawPath(head);
            break;
        }
        }
    }

private:
    TEntryPicture picture_;
};

// The arrow between two boxes.
class TArrowWidget final : public QWidget {
public:
    explicit TArrowWidget(QWidget* parent) : QWidget(parent) { setFixedSize(36, 24); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        const qreal m = height() / 2.0;
        p.drawRect(QRectF(4, m - 3, width() - 16, 6));
        QPolygonF head;
        head << QPointF(width() - 14, m - 9) << QPointF(width() - 2, m) << QPointF(width() - 14, m + 9);
        p.drawPolygon(head);
    }
};

} // namespace

TfrmRestore_DriveImage::TfrmRestore_DriveImage(IPowerControl& power, IUserPrompt& prompt,
                                               std::function<void()> closeMainWindow, QWidget* parent)
    : QDialog(parent), power_(power), prompt_(prompt), closeMainWindow_(std::move(closeMainWindow)),
      explanation_(new QLabel(this)), tip_(new QLabel(this)), restart_(new QPushButton(this)),
      cancel_(new QPushButton(this)) {
    setObjectName(QStringLiteral("frmRestore_DriveImage"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    explanation_->setWordWrap(true);

    auto* band = new QWidget(this);
    band->setObjectName(QStringLiteral("diagram"));
    band->setAutoFillBackground(true);
    QPalette bandPalette = band->palette();
    bandPalette.setColor(QPalette::Window, BandColour);
    band->setPalette(bandPalette);
    auto* bandLayout = new QHBoxLayout(band);
    bandLayout->setContentsMargins(16, 16, 16, 16);
    const TEntryPicture pictures[] = {TEntryPicture::Troubleshoot, TEntryPicture::AdvancedOptions,
                                      TEntryPicture::SystemImageRecovery};
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            bandLayout->addWidget(new TArrowWidget(band), 0, Qt::AlignVCenter);
        auto* box = new QWidget(band);
        auto* boxLayout = new QVBoxLayout(box);
        boxLayout->setContentsMargins(0, 0, 0, 0);
        steps_[i] = new QLabel(box);
        steps_[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        steps_[i]->setWordWrap(true);
        steps_[i]->setMinimumWidth(150);
        QPalette labelPalette = steps_[i]->palette();
        labelPalette.setColor(QPalette::WindowText, Qt::white);
        steps_[i]->setPalette(labelPalette);
        QFont bold = steps_[i]->font();
        bold.setBold(true);
        steps_[i]->setFont(bold);
        boxLayout->addWidget(steps_[i]);
        boxLayout->addWidget(new TEntryPictureWidget(pictures[i], box), 0, Qt::AlignHCenter);
        boxLayout->addStretch();
        bandLayout->addWidget(box, 1);
    }

    tip_->setAlignment(Qt::AlignRight);
    QFont tipFont = tip_->font();
    tipFont.setBold(true);
    tipFont.setItalic(true);
    tip_->setFont(tipFont);
    QPalette tipPalette = tip_->palette();
    tipPalette.setColor(QPalette::WindowText, TipColour);
    tip_->setPalette(tipPalette);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(restart_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation_);
    layout->addWidget(band);
    layout->addWidget(tip_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(restart_, &QPushButton::clicked, this, [this] {
        RestartIntoRecoveryAndClose(power_);
        hide();
        if (closeMainWindow_)
            closeMainWindow_();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    Retranslate();
}

void TfrmRestore_DriveImage::Retranslate() {
    setWindowTitle(u' ' + Translate(QStringLiteral("Restore Drive Image")));
    explanation_->setText(
        Translate(QStringLiteral(
            "To restore drive image you have to start your computer in the Advanced startup mode.")) +
        u'\n' + Translate(QStringLiteral("Then you must go through the following steps:")));
    steps_[0]->setText(Translate(QStringLiteral("Troubleshoot")));
    steps_[1]->setText(Translate(QStringLiteral("Advanced Options")));
    steps_[2]->setText(Translate(QStringLiteral("System Image Recovery")));
    tip_->setText(Translate(QStringLiteral("Tip: make a photo of this diagram")));
    restart_->setText(Translate(QStringLiteral("Restart PC and continue...")));
    cancel_->setText(Translate(QStringLiteral("Cancel")));
}

void TfrmRestore_DriveImage::ShowRestoreGuidance() {
    Retranslate();
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

void TfrmRestore_DriveImage::ShowErrorMessage(const QString& text) {
    prompt_.ShowError(text);
}

} // namespace morvane
