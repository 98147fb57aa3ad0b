#include "messageboxalerts.h"

#include <QCoreApplication>

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace {

std::unique_ptr<QMessageBox> buildBox(const QString& message, const QString& informative)
{
    auto box = std::make_unique<QMessageBox>();
    // Never empty: Qt falls back to the executable's name.
    box->setWindowTitle(QGuiApplication::applicationDisplayName());
    box->setTextFormat(Qt::PlainText);
    box->setText(message);
    box->setInformativeText(informative);
    // note: QMessageBox applies the text format to the main text only; the informative
    // label would still guess rich text from a feed's "<b>" or "<a href>".
    const QList<QLabel*> labels = box->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    return box;
}

void runModal(QMessageBox& box)
{
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
}

// The first button added is the default.
std::unique_ptr<QMessageBox> buildUpdateAvailable(const QString& message,
                                                  const QString& informative)
{
    auto box = buildBox(message, informative);
    QPushButton* download = box->addButton(
        QCoreApplication::translate("MessageBoxAlerts", "Download"), QMessageBox::AcceptRole);
    QPushButton* later = box->addButton(QCoreApplication::translate("MessageBoxAlerts", "Later"),
                                        QMessageBox::RejectRole);
    box->setDefaultButton(download);
    box->setEscapeButton(later);
    return box;
}

std::unique_ptr<QMessageBox> buildMessage(UpdateAlerts::Kind kind, const QString& message,
                                          const QString& informative)
{
    auto box = buildBox(message, informative);
    box->setIcon(kind == UpdateAlerts::Kind::Warning ? QMessageBox::Warning
                                                     : QMessageBox::Information);
    QPushButton* ok = box->addButton(QCoreApplication::translate("MessageBoxAlerts", "OK"),
                                     QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    return box;
}

} // namespace

bool MessageBoxAlerts::showUpdateAvailable(const QString& message, const QString& informative)
{
    const std::unique_ptr<QMessageBox> box = buildUpdateAvailable(message, informative);
    runModal(*box);
    // Closing the window counts as "Later".
    return box->clickedButton() == box->defaultButton();
}

void MessageBoxAlerts::showMessage(Kind kind, const QString& message, const QString& informative)
{
    const std::unique_ptr<QMessageBox> box = buildMessage(kind, message, informative);
    runModal(*box);
}
