#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "plateforme/horloge.hpp"
#include "protocol/audio/tampon_audio.hpp"
#include "protocol/base/verrou.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/scellement/enveloppe.hpp"
#include "protocol/scellement/liaison.hpp"
#include "protocol/supervision/reprise_connexion.hpp"
#include "protocol/supervision/silence_recepteur.hpp"

namespace ravlo {

/// Côté émetteur du lien audio vers un récepteur appairé, pour une diffusion.
///
/// Toutes les 5 ms, sur sa file, il vide l'anneau par blocs entiers de 1280 octets (320
/// trames), scelle chaque bloc dans un paquet audio et l'envoie en un datagramme. Sur la
/// même connexion il écoute le récepteur : toute enveloppe authentique est un signe de vie,
/// une question d'horloge reçoit sa réponse aussitôt, un message de fin appelle
/// `quandRecepteurArrete` une fois. Il refait une connexion en panne au plus une fois par
/// seconde et renonce (`quandRecepteurEstInjoignable`) après 30 s de panne ou 600 s sans
/// nouvelles du récepteur. Les deux rappels sont appelés sur la file de l'émetteur.
///
/// Une socket UDP connectée est prête aussitôt, que le récepteur écoute ou non : une panne
/// ne finit donc pas à « prête » mais au premier datagramme authentique reçu du récepteur
/// sur la connexion courante. Tant que la connexion n'est pas prête, chaque tic vide
/// l'anneau par blocs entiers, comptés dans `blocsJetes`, plutôt que d'envoyer d'un coup du
/// son périmé à son retour.
///
/// Tout son état vit sur sa file, sauf `compteurs`, qu'un verrou court partage avec le fil
/// principal. `demarrer()` et `arreter()` sont sûrs depuis n'importe quel fil ; l'étape
/// postée tient l'émetteur, si bien qu'elle s'exécute même si l'appelant le lâche aussitôt.
class EmetteurAudio : public std::enable_shared_from_this<EmetteurAudio> {
 public:
  struct Statistiques {
    std::int64_t paquetsEnvoyes = 0;
    std::int64_t octetsJetes = 0;  ///< les `perdus` de l'anneau
    std::int64_t paquetsSansHeureDeCapture = 0;
    bool connexionPrete = false;
    std::optional<ErreurReseau> erreur;  ///< la dernière erreur réseau, tant qu'elle dure
    bool recepteurMuet = false;          ///< rien d'authentique depuis 3 s
    std::int64_t connexionsRefaites = 0;
    double pireAttenteMs = 0;  ///< pire attente capture → envoi de la dernière seconde complète
    /// Blocs de 1280 octets vidés de l'anneau sans être envoyés, faute de connexion prête.
    std::int64_t blocsJetes = 0;
    bool operator==(const Statistiques&) const = default;
  };

  /// Ce que l'émetteur emprunte à la plateforme.
  struct Plateforme {
    std::shared_ptr<File> file;  ///< "ravlo.emetteur" en production
    std::shared_ptr<FabriqueConnexions> connexions;
    const Horloge* horloge = &horlogeSysteme();
    /// Numéro du premier paquet : 0 pour une diffusion ; les essais partent près du repli.
    std::uint32_t premiereSequence = 0;
  };

  static constexpr std::int64_t octetsParPaquet = 1280;
  static constexpr std::chrono::milliseconds periode{5};

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
  /// Copie prise sous le verrou.
  [[nodiscard]] Statistiques compteurs() const;

 private:
  EmetteurAudio(std::shared_ptr<TamponAudio> tampon, PointReseau point, Liaison liaison,
                Tache quandRecepteurArrete, Tache quandRecepteurEstInjoignable,
                Plateforme plateforme);

  void demarrerSurLaFile();
  void arreterSurLaFile();
  void creerConnexion();
  void armerReception(const std::shared_ptr<ConnexionDatagramme>& connexion);
  void suivreEtat(const EtatConnexion& etat, const std::shared_ptr<ConnexionDatagramme>& de);
  void traiterReception(InstantNs reception, const std::optional<Octets>& datagramme, bool enErreur,
                        const std::shared_ptr<ConnexionDatagramme>& connexion);
  void repondreALHorloge(InstantNs reception, const Octets& contenu,
                         const std::shared_ptr<ConnexionDatagramme>& connexion);
  void envoyerBlocs();
  void surveillerConnexion(InstantNs maintenant);
  void abandonner();

  const std::shared_ptr<TamponAudio> tampon_;
  const PointReseau point_;
  const Liaison liaison_;
  const Tache quandRecepteurArrete_;
  const Tache quandRecepteurEstInjoignable_;
  const Plateforme plateforme_;

  mutable Verrou verrou_;
  Statistiques compteurs_ GARDE_PAR(verrou_);

  // Sur la file seulement.
  std::shared_ptr<ConnexionDatagramme> connexion_;
  std::unique_ptr<Minuterie> minuteur_;
  std::uint32_t sequence_ = 0;
  RepriseConnexion reprise_;
  SilenceRecepteur silence_{0};
  std::uint64_t pireAttenteNs_ = 0;
  std::array<std::uint8_t, octetsParPaquet> pcm_{};
  std::array<std::uint8_t, PaquetAudio::tailleEnTete + octetsParPaquet> paquet_{};
  std::array<std::uint8_t, Enveloppe::tailleEnTete + PaquetAudio::tailleEnTete + octetsParPaquet +
                               Enveloppe::tailleEtiquette>
      scelle_{};
  InstantNs debutSecondeNs_ = 0;
};

}  // namespace ravlo
