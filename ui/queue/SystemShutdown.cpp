#include "ui/queue/SystemShutdown.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

bool TLogindShutdown::PowerOff(std::string& error)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        error = "No system bus: " + bus.lastError().message().toStdString();
        return false;
    }
    QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           bus);
    if (!manager.isValid()) {
        error = manager.lastError().message().toStdString();
        return false;
    }
    QDBusReply<void> reply = manager.call("PowerOff", true);
    if (!reply.isValid()) {
        error = reply.error().message().toStdString();
        return false;
    }
    return true;
}
