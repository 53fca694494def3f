// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "plateforme/horloge.hpp"
#include "protocol/audio/format_flux.hpp"
#include "protocol/base/verrou.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/scellement/enveloppe.hpp"
#include "protocol/scellement/liaison.hpp"
#include "protocol/supervision/reprise_connexion.hpp"
#include "protocol/supervision/silence_recepteur.hpp"

namespace ravlo {

/// Une voie de l'émetteur : le lien vers un récepteur appairé. Elle numérote, scelle sous les
/// clés de son appairage et envoie chaque bloc que l'émetteur lui passe ; sur sa connexion
/// elle écoute le récepteur : toute enveloppe authentique est un signe de vie, une question
/// d'horloge reçoit sa réponse aussitôt, un besoin de groupe est retenu (au-delà de ce que
/// la file d'un récepteur tient, il est compté et met la pièce hors du groupe), le nom de
/// l'émetteur qui prend le récepteur est retenu (`prisPar`), un message de fin appelle
/// `quandRecepteurArrete` une fois, comme une connexion qui se dit `fermee` (une page partie)
/// et n'est pas revenue dans les 10 s : rechargée ou après une coupure du Wi-Fi, la page
/// revient par une connexion neuve, reprise dans l'envoi par une autre voie, et celle-ci ne
/// doit pas finir l'envoi avant.
/// Elle refait une connexion en panne au plus une fois par seconde et renonce
/// (`quandRecepteurEstInjoignable`) après 30 s de panne ou 600 s sans nouvelles.
///
/// Une socket UDP connectée est prête aussitôt, que le récepteur écoute ou non : une panne
/// ne finit donc pas à « prête » mais au premier datagramme authentique reçu sur la
/// connexion courante. Tant que la connexion n'est pas prête, les blocs sont jetés (comptés
/// dans `blocsJetes`) sans être numérotés, plutôt que d'envoyer d'un coup du son périmé.
///
/// Une liaison qui a un message à renvoyer (`Liaison::aRenvoyer`) le renvoie toutes les
/// 700 ms, au tic, tant qu'aucune enveloppe du récepteur ne s'est ouverte : perdu, il
/// laisserait le récepteur sans session.
///
/// Tout vit sur la file de l'émetteur, sauf `compteurs`, sous un verrou court. Une voie ne
/// sait rien des autres : ses clés, sa connexion, sa reprise et ses numéros sont à elle.
class VoieEmission : public std::enable_shared_from_this<VoieEmission> {
 public:
  struct Statistiques {
    std::int64_t paquetsEnvoyes = 0;
    bool connexionPrete = false;
    /// La dernière erreur réseau, tant qu'elle dure.
    std::optional<ErreurReseau> erreur = std::nullopt;
    bool recepteurMuet = false;  ///< rien d'authentique depuis 3 s
    std::int64_t connexionsRefaites = 0;
    /// Blocs d'un paquet jetés faute de connexion prête.
    std::int64_t blocsJetes = 0;
    /// Besoins reçus au-delà de ce que la file d'un récepteur tient (`AccordGroupe`).
    std::int64_t besoinsRefuses = 0;
    bool horsGroupe = false;  ///< le dernier besoin, récent, est refusé : la pièce joue seule
    /// Le nom de l'émetteur qui a pris le récepteur, s'il l'a dit avant sa fin.
    std::optional<std::string> prisPar = std::nullopt;
    bool operator==(const Statistiques&) const = default;
  };

  struct Plateforme {
    std::shared_ptr<File> file;
    std::shared_ptr<FabriqueConnexions> connexions;
    const Horloge* horloge = &horlogeSysteme();
    std::uint32_t premiereSequence = 0;
  };

  static constexpr std::int64_t fraicheurBesoinNs = 3'000'000'000;
  static constexpr std::int64_t intervalleRenvoiNs = 700'000'000;
  /// Ce qu'une voie dont la connexion s'est dite `fermee` attend sa page avant de finir.
  static constexpr std::int64_t graceFermeeNs = 10'000'000'000;

  [[nodiscard]] static std::shared_ptr<VoieEmission> creer(PointReseau point, Liaison liaison,
                                                           Tache quandRecepteurArrete,
                                                           Tache quandRecepteurEstInjoignable,
                                                           Plateforme plateforme);
  ~VoieEmission();
  VoieEmission(const VoieEmission&) = delete;
  VoieEmission& operator=(const VoieEmission&) = delete;

  /// Sur la file : la première connexion.
  void ouvrir();
  /// Sur la file ; les compteurs gardent l'état du lien au moment de l'arrêt.
  void fermer();
  /// Sur la file, à chaque tic de l'émetteur : reprise de la connexion, silence du
  /// récepteur. Faux quand la voie renonce ; elle s'est alors fermée et l'a dit.
  bool surveiller(InstantNs maintenant);
  [[nodiscard]] bool prete() const;
  /// Sur la file : un bloc d'un paquet capté à `heure`. N'alloue rien.
  void envoyer(std::span<const std::uint8_t, flux::octetsParPaquet> pcm, InstantNs heure);

  /// Sur la file : ce que son récepteur dit lui falloir, de la capture au son entendu, s'il
  /// l'a dit depuis moins de 3 s et que c'est admis. Un récepteur qui ne connaît pas les
  /// groupes ne dit rien.
  [[nodiscard]] std::optional<std::uint64_t> besoinNs(InstantNs maintenant) const;
  /// Sur la file : son dernier besoin, dit depuis moins de 3 s, n'est pas admis ; la pièce
  /// n'est pas du groupe et ne reçoit pas sa latence.
  [[nodiscard]] bool horsGroupe(InstantNs maintenant) const;
  /// Sur la file : annonce au récepteur la latence de son groupe, si la connexion est prête.
  void annoncerGroupe(std::uint64_t latenceNs, std::uint64_t pieces);

  /// Copie prise sous le verrou.
  [[nodiscard]] Statistiques compteurs() const;

 private:
  VoieEmission(PointReseau point, Liaison liaison, Tache quandRecepteurArrete,
               Tache quandRecepteurEstInjoignable, Plateforme plateforme);

  void creerConnexion();
  void armerReception(const std::shared_ptr<ConnexionDatagramme>& connexion);
  void suivreEtat(const EtatConnexion& etat, const std::shared_ptr<ConnexionDatagramme>& de);
  void traiterReception(InstantNs reception, const std::optional<Octets>& datagramme, bool enErreur,
                        const std::shared_ptr<ConnexionDatagramme>& connexion);
  void traiterHorloge(InstantNs reception, const Octets& contenu,
                      const std::shared_ptr<ConnexionDatagramme>& connexion);
  void abandonner();

  const PointReseau point_;
  const Liaison liaison_;
  const Tache quandRecepteurArrete_;
  const Tache quandRecepteurEstInjoignable_;
  const Plateforme plateforme_;

  mutable Verrou verrou_;
  Statistiques compteurs_ GARDE_PAR(verrou_);

  // Sur la file seulement.
  std::shared_ptr<ConnexionDatagramme> connexion_;
  std::uint32_t sequence_ = 0;
  RepriseConnexion reprise_;
  SilenceRecepteur silence_{0};
  std::optional<std::uint64_t> besoinNs_;
  InstantNs besoinRecuNs_ = 0;
  bool entendu_ = false;               ///< une enveloppe du récepteur s'est ouverte
  std::optional<InstantNs> fermeeNs_;  ///< la connexion s'est dite `fermee`
  InstantNs renvoiNs_ = 0;
  std::array<std::uint8_t, PaquetAudio::tailleEnTete + flux::octetsParPaquet> paquet_{};
  std::array<std::uint8_t, Enveloppe::tailleEnTete + PaquetAudio::tailleEnTete +
                               flux::octetsParPaquet + Enveloppe::tailleEtiquette>
      scelle_{};
};

}  // namespace ravlo
