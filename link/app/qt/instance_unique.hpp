// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace ravlo {

/// Une seule instance de ravlo-link par utilisateur. La première tient un verrou et écoute
/// une socket locale dans `dossier` ($XDG_RUNTIME_DIR, propre à l'utilisateur) ; une suivante
/// trouve le verrou pris, lui demande d'ouvrir son panneau et n'a plus qu'à sortir. Le verrou
/// d'un processus tué est repris (QLockFile le reconnaît à son PID mort) et sa socket restée
/// sur le disque est effacée avant d'écouter. Fil principal.
class InstanceUnique final : public QObject {
  Q_OBJECT

 public:
  /// $XDG_RUNTIME_DIR, ou à défaut le dossier temporaire (noms suffixés de l'uid).
  [[nodiscard]] static QString dossierSysteme();

  explicit InstanceUnique(const QString& dossier, QObject* parent = nullptr);
  ~InstanceUnique() override;
  InstanceUnique(const InstanceUnique&) = delete;
  InstanceUnique& operator=(const InstanceUnique&) = delete;

  /// Vrai : cette instance est la première ; elle émettra `ouvrir` (sauf si la socket n'a pu
  /// s'ouvrir, `ecoute` faux).
  [[nodiscard]] bool premiere() const { return premiere_; }
  [[nodiscard]] bool ecoute() const { return serveur_ != nullptr; }
  /// Pour une instance suivante : demande à la première d'ouvrir son panneau. Faux si elle ne
  /// répond pas dans `delaiMs` (bloquant : rien d'autre ne tourne encore).
  [[nodiscard]] bool passerLaMain(int delaiMs = 1000) const;

 signals:
  /// Une autre instance a été lancée.
  void ouvrir();

 private:
  QString chemin_;
  std::unique_ptr<QLockFile> verrou_;
  bool premiere_ = false;
  std::unique_ptr<QLocalServer> serveur_;
};

}  // namespace ravlo
