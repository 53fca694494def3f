// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/notifications_dbus.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFileInfo>
#include <QVariantMap>

namespace ravlo {

namespace {

bool busDeSession() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

}  // namespace

void NotificationsDbus::notifier(const std::string& titre, const std::string& texte) {
  if (!busDeSession()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage appel = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  // Nom de l'application, bulle à remplacer (aucune), icône du thème, titre, texte, actions,
  // indications, délai (celui du bureau).
  appel << QStringLiteral("Ravlo Link") << 0U << QStringLiteral("ravlo-link")
        << QString::fromStdString(titre) << QString::fromStdString(texte) << QStringList()
        << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("ravlo-link")}} << -1;
  bus.asyncCall(appel);
}

}  // namespace ravlo
