#include "launchagentitem.h"

#include <QProcess>
#include <QXmlStreamWriter>

#include <unistd.h>

LaunchAgentItem::LaunchAgentItem(const Environment& environment)
    : LoginItem(environment, environment.homePath + QStringLiteral("/Library/LaunchAgents/") +
                                 labelFor(environment) + QStringLiteral(".plist"))
{}

QByteArray LaunchAgentItem::propertyList(const QString& label, const QString& executablePath)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(-1); // tabs, as Apple's serialiser writes them
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    xml.writeStartElement(QStringLiteral("plist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    xml.writeStartElement(QStringLiteral("dict"));
    xml.writeTextElement(QStringLiteral("key"), QStringLiteral("KeepAlive"));
    xml.writeEmptyElement(QStringLiteral("false"));
    xml.writeTextElement(QStringLiteral("key"), QStringLiteral("Label"));
    xml.writeTextElement(QStringLiteral("string"), label);
    xml.writeTextElement(QStringLiteral("key"), QStringLiteral("ProgramArguments"));
    xml.writeStartElement(QStringLiteral("array"));
    xml.writeTextElement(QStringLiteral("string"), executablePath);
    xml.writeEndElement(); // array
    xml.writeTextElement(QStringLiteral("key"), QStringLiteral("RunAtLoad"));
    xml.writeEmptyElement(QStringLiteral("true"));
    xml.writeEndElement(); // dict
    xml.writeEndElement(); // plist
    xml.writeEndDocument();
    return bytes;
}

QString LaunchAgentItem::serviceTarget(uint userId, const QString& label)
{
    return QStringLiteral("gui/") + QString::number(userId) + QLatin1Char('/') + label;
}

QByteArray LaunchAgentItem::entryContents() const
{
    return propertyList(label(), environment().executablePath);
}

void LaunchAgentItem::beforeRemoving() const
{
    // Its status is of no interest: an agent that isn't loaded is already what we want. The
    // output goes nowhere, so a chatty launchctl can never fill a pipe and stall.
    QProcess launchctl;
    launchctl.setProgram(environment().launchctlPath);
    launchctl.setArguments({QStringLiteral("bootout"), serviceTarget(::getuid(), label())});
    launchctl.setStandardOutputFile(QProcess::nullDevice());
    launchctl.setStandardErrorFile(QProcess::nullDevice());
    launchctl.setInputChannelMode(QProcess::ForwardedInputChannel);
    launchctl.start();
    if (launchctl.waitForStarted(-1))
        launchctl.waitForFinished(-1);
}
