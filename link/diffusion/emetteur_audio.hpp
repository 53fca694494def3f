// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/diffusion/accord_groupe.hpp"
#include "link/diffusion/voie_emission.hpp"
#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "plateforme/horloge.hpp"
#include "protocol/audio/format_flux.hpp"
#include "protocol/audio/tampon_audio.hpp"
#include "protocol/base/verrou.hpp"

namespace ravlo {

/// L'émetteur d'une diffusion : le seul lecteur de l'anneau, et ses voies, une par récepteur.
///
/// Sur sa file, il vide l'anneau par blocs entiers d'un paquet (`flux::octetsParPaquet`) et passe
/// chaque bloc, daté par la capture, à chacune de ses voies, qui le numérotent, le scellent
/// sous leurs propres clés et l'envoient (`VoieEmission`). L'anneau le réveille dès qu'il
/// tient un bloc entier : un paquet part sitôt ses trames écrites, sans attendre de tic.
/// Une veille de 100 ms, qui vide aussi l'anneau, tient le reste : surveillance des
/// récepteurs et des connexions quand la source se tait.
///
/// Chaque voie a son identifiant (0 pour celle de la création, puis 1, 2…) et ses rappels.
/// Une voie qui finit d'elle-même (fin dite par son récepteur, ou récepteur injoignable) est
/// retirée avant que son rappel soit appelé, sans toucher les autres. La dernière n'est pas
/// retirée : l'émetteur s'arrête, et elle reste listée avec ses compteurs de l'arrêt.
///
/// Les compteurs sont de deux sortes : ceux de l'émetteur (`compteurs()`), qui valent pour
/// toutes les voies puisqu'il lit l'anneau pour elles, et ceux de chaque voie
/// (`compteursVoies()`, `compteursVoie()`) : paquets, connexion, récepteur.
///
/// Cycle de vie : créé, puis démarré, puis arrêté, dans cet ordre et une fois chacun ;
/// `demarrer()` après `arreter()` ne fait rien.
///
/// Tout son état vit sur sa file, sauf les compteurs, sous des verrous courts. `demarrer()`,
/// `ajouterVoie()`, `retirerVoie()` et `arreter()` sont sûrs depuis n'importe quel fil ;
/// l'étape postée tient l'émetteur, si bien qu'elle s'exécute même si l'appelant le lâche
/// aussitôt.
class EmetteurAudio : public std::enable_shared_from_this<EmetteurAudio> {
 public:
  using IdVoie = std::uint32_t;

  /// Ceux de l'anneau et de sa lecture, communs à toutes les voies.
  struct Statistiques {
    std::int64_t octetsJetes = 0;                ///< les `perdus` de l'anneau
    std::int64_t paquetsSansHeureDeCapture = 0;  ///< blocs lus sans heure de capture
    double pireAttenteMs = 0;  ///< pire attente capture → envoi de la dernière seconde complète
    bool operator==(const Statistiques&) const = default;
  };

  struct CompteursVoie {
    IdVoie id = 0;
    VoieEmission::Statistiques compteurs;
    bool operator==(const CompteursVoie&) const = default;
  };

  /// Ce que l'émetteur emprunte à la plateforme.
  struct Plateforme {
    std::shared_ptr<File> file;  ///< "ravlo.emetteur" en production
    std::shared_ptr<FabriqueConnexions> connexions;
    const Horloge* horloge = &horlogeSysteme();
    /// Numéro du premier paquet : 0 pour une diffusion ; les essais partent près du repli.
    std::uint32_t premiereSequence = 0;
  };

  /// Période de la veille ; les paquets, eux, partent au réveil de l'anneau.
  static constexpr std::chrono::milliseconds periodeVeille{100};

  /// Ne démarre rien.
  [[nodiscard]] static std::shared_ptr<EmetteurAudio> creer(std::shared_ptr<TamponAudio> tampon,
                                                            PointReseau point, Liaison liaison,
                                                            Tache quandRecepteurArrete,
                                                            Tache quandRecepteurEstInjoignable,
                                                            Plateforme plateforme);
  ~EmetteurAudio();
  EmetteurAudio(const EmetteurAudio&) = delete;
  EmetteurAudio& operator=(const EmetteurAudio&) = delete;

  void demarrer();
  void arreter();
  /// Une voie de plus vers un autre récepteur appairé ; ses rappels sont les siens. Ajoutée
  /// avant `demarrer()`, elle part avec la première ; sinon elle reçoit les blocs suivants.
  /// L'émetteur déjà arrêté, elle appelle aussitôt `quandRecepteurEstInjoignable`.
  IdVoie ajouterVoie(PointReseau point, Liaison liaison, Tache quandRecepteurArrete,
                     Tache quandRecepteurEstInjoignable);
  /// La voie cesse d'envoyer, sans appeler ses rappels ; la dernière arrête l'émetteur.
  void retirerVoie(IdVoie id);
  /// Ceux de l'émetteur, copiés sous le verrou.
  [[nodiscard]] Statistiques compteurs() const;
  /// Ceux de chaque voie encore en service, par ordre d'ajout.
  [[nodiscard]] std::vector<CompteursVoie> compteursVoies() const;
  /// Ceux de la voie `id`, en service ou retirée (tels qu'à son retrait) ; rien pour une voie
  /// pas encore ajoutée sur la file.
  [[nodiscard]] std::optional<VoieEmission::Statistiques> compteursVoie(IdVoie id) const;

 private:
  enum class Etape : std::uint8_t { cree, demarre, arrete };

  struct VoieEnService {
    IdVoie id = 0;
    std::shared_ptr<VoieEmission> voie;
  };

  EmetteurAudio(std::shared_ptr<TamponAudio> tampon, Plateforme plateforme);

  void demarrerSurLaFile();
  void arreterSurLaFile();
  void envoyerBlocs();
  /// Plusieurs voies font un groupe : la latence commune, annoncée à chacune.
  void accorderGroupe(InstantNs t);
  /// La voie d'index `i` en service, ou rien au-delà de la dernière ; lue sous le verrou court.
  [[nodiscard]] std::shared_ptr<VoieEmission> voie(std::size_t i) const;
  [[nodiscard]] VoieEnService nouvelleVoie(PointReseau point, Liaison liaison,
                                           Tache quandRecepteurArrete,
                                           Tache quandRecepteurEstInjoignable,
                                           std::uint32_t premiereSequence);
  /// Sur la file.
  void retirer(IdVoie id);

  const std::shared_ptr<TamponAudio> tampon_;
  const Plateforme plateforme_;

  mutable Verrou verrou_;
  Statistiques compteurs_ GARDE_PAR(verrou_);
  /// Jamais vide : la dernière voie reste après l'arrêt. Changées sur la file.
  std::vector<VoieEnService> voies_ GARDE_PAR(verrou_);
  IdVoie prochaineVoie_ GARDE_PAR(verrou_) = 0;
  /// Les compteurs des voies retirées, à leur retrait : le nom de qui a pris un récepteur ne
  /// se lit qu'après sa fin. Une entrée par pièce partie.
  std::vector<CompteursVoie> retirees_ GARDE_PAR(verrou_);

  // Sur la file seulement.
  std::unique_ptr<Minuterie> minuteur_;
  std::unique_ptr<Reveil> reveil_;
  Etape etape_ = Etape::cree;
  std::uint64_t pireAttenteNs_ = 0;
  std::array<std::uint8_t, flux::octetsParPaquet> pcm_{};
  InstantNs debutSecondeNs_ = 0;
  AccordGroupe accord_;
  std::optional<InstantNs> accordNs_;
};

}  // namespace ravlo
