// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/instance_unique.hpp"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

namespace ravlo {

namespace {
constexpr QByteArrayView demande = "ouvrir\n";
}

QString InstanceUnique::dossierSysteme() {
  QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
  // Le dossier temporaire est partagé : un sous-dossier par utilisateur.
  const QString dossier = QDir::temp().filePath(QStringLiteral("ravlo-link-%1").arg(getuid()));
  QDir().mkpath(dossier);
  QFile::setPermissions(dossier,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  return dossier;
}

InstanceUnique::InstanceUnique(const QString& dossier, QObject* parent)
    : QObject(parent),
      chemin_(QDir(dossier).filePath(QStringLiteral("ravlo-link.socket"))),
      verrou_(
          std::make_unique<QLockFile>(QDir(dossier).filePath(QStringLiteral("ravlo-link.lock")))) {
  // Seul un PID mort rend le verrou périmé, jamais son âge : la première vit des jours.
  verrou_->setStaleLockTime(0);
  premiere_ = verrou_->tryLock(0);
  if (!premiere_) return;
  QLocalServer::removeServer(chemin_);  // laissée par une instance tuée
  auto serveur = std::make_unique<QLocalServer>();
  serveur->setSocketOptions(QLocalServer::UserAccessOption);
  if (!serveur->listen(chemin_)) return;
  connect(serveur.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = serveur_->nextPendingConnection()) {
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      connect(client, &QLocalSocket::readyRead, this, [this, client] {
        // Une ligne peut arriver en morceaux ; tout autre contenu que la demande est ignoré.
        if (!client->canReadLine() && client->bytesAvailable() < demande.size()) return;
        if (client->readLine(demande.size() + 1) == demande.toByteArray()) emit ouvrir();
        client->disconnectFromServer();
      });
    }
  });
  serveur_ = std::move(serveur);
}

InstanceUnique::~InstanceUnique() = default;

bool InstanceUnique::passerLaMain(int delaiMs) const {
  QElapsedTimer chrono;
  chrono.start();
  // La première peut tenir le verrou sans écouter encore : on réessaie jusqu'au délai.
  while (chrono.elapsed() < delaiMs) {
    QLocalSocket socket;
    socket.connectToServer(chemin_);
    const int reste = static_cast<int>(delaiMs - chrono.elapsed());
    if (socket.waitForConnected(std::max(reste, 1))) {
      socket.write(demande.data(), demande.size());
      return socket.waitForBytesWritten(std::max(static_cast<int>(delaiMs - chrono.elapsed()), 1));
    }
    QThread::msleep(20);
  }
  return false;
}

}  // namespace ravlo
