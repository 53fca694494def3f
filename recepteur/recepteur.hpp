// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "protocol/base/point_reseau.hpp"
#include "protocol/lecture/mesure_latence.hpp"
#include "protocol/lecture/synchro_horloges.hpp"
#include "protocol/messages/etat_carte.hpp"
#include "protocol/messages/publication_carte.hpp"
#include "protocol/scellement/liaison.hpp"
#include "recepteur/compteurs_recepteur.hpp"
#include "recepteur/file_lecture.hpp"
#include "recepteur/guichet_appairage.hpp"
#include "recepteur/limite_code_parle.hpp"
#include "recepteur/pilote_file.hpp"
#include "recepteur/suivi_decalage.hpp"
#include "recepteur/tri_entree.hpp"

namespace ravlo {

/// Un datagramme à envoyer depuis la socket du récepteur.
struct Envoi {
  Octets donnees;
  PointReseau vers;
  bool operator==(const Envoi&) const = default;
};

/// Le récepteur sans socket ni horloge : chaque datagramme arrivé, chaque tic et la fin sont
/// des appels avec l'heure, qui rendent ce qu'il faut envoyer.
///
/// Ce qui n'a ni la forme d'un message d'appairage ni celle d'une enveloppe est écarté sur
/// ses premiers octets et sa taille (`formeDe`), sans rien décoder ni déchiffrer ; une
/// enveloppe d'une autre source que l'expéditeur n'est ouverte que dans sa part
/// (`QuotaEtrangers`). Les messages d'appairage et de reprise ("RP") vont au guichet ; une
/// reprise réussie se conduit comme un appairage, sous le nom mémorisé. Une enveloppe s'ouvre
/// avec la liaison courante (fenêtre de rejeu comprise), sinon elle est comptée refusée. Un
/// nouvel appairage ne remplace l'expéditeur qu'une fois réussi ; l'ancien reçoit alors le
/// nom du nouveau (`MessageReleve`), puis le message de fin.
///
/// Les paquets audio vont à leur casier de la `FileLecture` par le `PiloteFile`, qui en
/// apprend la cible et la vitesse de lecture. Questions d'horloge (à chaque `cadencer`, toutes
/// les 200 ms) et fin partent vers la source de la dernière enveloppe authentique : un
/// émetteur peut s'appairer depuis une socket et envoyer le son depuis une autre.
///
/// Appelé sur un seul fil (celui de la socket) ; la lecture, elle, se partage avec le rendu.
class Recepteur {
 public:
  static constexpr std::uint64_t pauseNs = 1'000'000'000;
  static constexpr std::size_t echantillonsLatence = 50;  ///< 10 s à un tic toutes les 200 ms

  Recepteur(GuichetAppairage::Reglages appairage, std::shared_ptr<FileLecture> lecture);

  /// Un datagramme de `source` arrivé à `maintenant`.
  std::vector<Envoi> recevoir(VueOctets octets, const PointReseau& source, InstantNs maintenant);

  /// Le tic de 200 ms : question d'horloge, pilote, latence, tentative muette.
  std::vector<Envoi> cadencer(InstantNs maintenant);

  /// Comme au sortir d'un appairage avec `source` : pour le fuzzing et les mesures, qui
  /// partent d'un récepteur appairé sans rejouer l'appairage à chaque fois.
  void adopter(const Liaison& liaison, const PointReseau& source);

  /// Le message de fin pour l'expéditeur courant, s'il y en a un.
  std::optional<Envoi> terminer();

  /// L'état de carte s'il a changé : son coupé (donné par la sortie), en pause (rien reçu
  /// depuis 1 s).
  std::optional<EtatCarte> carte(bool sonCoupe, InstantNs maintenant);

  /// Rien reçu de l'expéditeur depuis 1 s (ou jamais).
  [[nodiscard]] bool enPause(InstantNs maintenant) const;

  [[nodiscard]] CompteursRecepteur compteurs() const;
  [[nodiscard]] const CodeAppairage& code() const { return guichet_.code(); }
  /// Le code fixé ne sert plus (entamé ou servi).
  [[nodiscard]] bool codeEpuise() const { return guichet_.codeEpuise(); }
  [[nodiscard]] GuichetAppairage::Epuisement epuisement() const { return guichet_.epuisement(); }
  /// Ce qui reste de la pause d'appairage ; 0 : un essai serait servi.
  [[nodiscard]] std::uint64_t pauseAppairageNs(InstantNs maintenant) const {
    return guichet_.pauseRestanteNs(maintenant);
  }
  [[nodiscard]] int echecsRetenus(InstantNs maintenant) const {
    return guichet_.echecsRetenus(maintenant);
  }
  [[nodiscard]] bool appaire() const { return liaison_.has_value(); }
  [[nodiscard]] std::int64_t appairages() const { return compteurs_.appairages; }
  [[nodiscard]] std::int64_t reprises() const { return compteurs_.reprises; }
  /// Le nom que l'ordinateur appairé a donné à l'appairage ; vide s'il n'en a pas dit.
  [[nodiscard]] const std::string& nomOrdinateur() const { return nomOrdinateur_; }
  [[nodiscard]] double vitessePPM() const { return pilote_.vitessePPM(); }

  /// Le code se dit à voix haute sur demande (`DemandeCode`) ; sinon la demande est écartée
  /// comme un datagramme inconnu. Faux au départ.
  void permettreCodeParle(bool oui) { codeParle_ = oui; }
  /// Le code se dit encore (la voix n'a pas fini de sortir) : une demande attend la suite.
  void noterParole(bool enCours) { parole_ = enCours; }
  /// Vrai une fois par demande retenue : le code est à dire maintenant.
  [[nodiscard]] bool prendreCodeADire() { return std::exchange(codeADire_, false); }

 private:
  void appairer(const Liaison& liaison, const std::string& nom, const PointReseau& source,
                std::vector<Envoi>& envois);
  void traiter(GuichetAppairage::Issue issue, std::vector<Envoi>& envois);
  void ecarter();
  void demanderCode(InstantNs maintenant);
  void recevoirScelle(VueOctets octets, const PointReseau& source, InstantNs maintenant);
  void recevoirHorloge(VueOctets contenu, InstantNs maintenant);
  void recevoirAudio(const Octets& contenu, InstantNs maintenant);
  std::optional<Envoi> sceller(VueOctets contenu, SorteEnveloppe sorte);

  GuichetAppairage guichet_;
  std::shared_ptr<FileLecture> lecture_;
  std::optional<Liaison> liaison_;
  std::optional<PointReseau> expediteur_;
  std::string nomOrdinateur_;
  QuotaEtrangers quotaEtrangers_;
  MesureLatence latence_;
  SynchroHorloges synchro_;  ///< ne fait que trier les réponses en échanges
  /// Le seul décalage d'horloges du récepteur : le pilote y règle l'heure de jeu, et les
  /// latences qu'il rapporte (`latenceMs`, `arriveeMs`) s'y lisent.
  SuiviDecalage suivi_;
  PiloteFile pilote_;
  PublicationCarte publication_;
  std::optional<InstantNs> dernierAudio_;
  std::array<double, echantillonsLatence> latences_{};
  std::size_t nombreLatences_ = 0;
  CompteursRecepteur compteurs_;
  LimiteCodeParle limiteCode_;
  bool codeParle_ = false;
  bool parole_ = false;
  bool codeADire_ = false;
};

}  // namespace ravlo
