#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "protocol/base/instant.hpp"

namespace ravlo {

/// Statut d'une opération du système de son : 0 = réussite, sinon son code d'erreur.
using StatutAudio = std::int32_t;

/// Objet du système de son (sortie, capture, routage) ; 0 = aucun.
using IdentifiantAudio = std::uint32_t;

/// Rappel de capture installé sur un routage.
using IdentifiantRappel = std::uint64_t;

/// Statut et valeur d'une opération, comme les rend le système : la valeur peut manquer
/// (0, absente) même quand le statut vaut 0, et c'est à l'appelant d'en juger.
template <class T>
struct ResultatAudio {
  StatutAudio statut = 0;
  T valeur{};
};

/// Description d'un flux PCM, champ pour champ celle qu'un système de son donne de ses flux.
struct FormatFlux {
  static constexpr std::uint32_t formatPCM = 0x6c70636d;  // 'lpcm'
  static constexpr std::uint32_t drapeauFlottant = 1;
  static constexpr std::uint32_t drapeauGrosBoutiste = 2;
  static constexpr std::uint32_t drapeauEntierSigne = 4;
  static constexpr std::uint32_t drapeauCompact = 8;
  static constexpr std::uint32_t drapeauNonEntrelace = 32;

  double frequence = 0;
  std::uint32_t identifiantFormat = 0;
  std::uint32_t drapeaux = 0;
  std::uint32_t octetsParPaquet = 0;
  std::uint32_t tramesParPaquet = 0;
  /// Par tampon : une trame entière si entrelacé, un échantillon d'une voie sinon.
  std::uint32_t octetsParTrame = 0;
  std::uint32_t canauxParTrame = 0;
  std::uint32_t bitsParCanal = 0;
  std::uint32_t reserve = 0;

  bool operator==(const FormatFlux&) const = default;
};

/// Un tampon d'un bloc livré. `donnees` nul : un trou de `octets` octets (trames perdues).
struct TamponBloc {
  const void* donnees = nullptr;
  std::uint32_t octets = 0;
};

/// Heure d'un bloc : `hoteNs` (horloge de l'hôte, celle de `hoteNs()`) ne vaut que si
/// `drapeaux` porte `heureHoteValide`.
struct HorodatageBloc {
  static constexpr std::uint32_t heureHoteValide = 2;
  std::uint32_t drapeaux = 0;
  InstantNs hoteNs = 0;
};

/// Rappel de capture. Appelé sur le fil du système de son, jamais deux à la fois : un
/// tampon par voie (un seul quand le format est entrelacé), et l'heure du bloc.
using RappelES = std::function<void(std::span<const TamponBloc>, const HorodatageBloc&)>;

/// Ce qui décrit une capture : son nom, et si la sortie de l'ordinateur se tait tant
/// qu'elle capte (le son ne va plus qu'à la capture).
struct DescriptionTap {
  std::string nom;
  bool silencieux = false;

  bool operator==(const DescriptionTap&) const = default;
};

/// Le système de son vu par la capture : les étapes dont elle a besoin, chacune rendant le
/// statut du système. Une capture (« tap ») dit quoi capter et si la sortie se tait ; un
/// routage (« agrégat ») la relie à la sortie par défaut et porte le rappel. Appelé depuis
/// le fil principal seulement ; seul le rappel tourne sur le fil du système de son.
/// Après `arreter`, le rappel ne tourne plus et ne tournera plus.
class PlateformeAudio {
 public:
  virtual ~PlateformeAudio() = default;

  virtual ResultatAudio<IdentifiantAudio> lireSortieParDefaut() = 0;
  /// Identifiant durable (texte) d'une sortie ; absent si le système n'en donne pas.
  virtual ResultatAudio<std::optional<std::string>> lireIdentifiantSortie(
      IdentifiantAudio sortie) = 0;
  virtual ResultatAudio<IdentifiantAudio> creerTap(const DescriptionTap& description) = 0;
  virtual ResultatAudio<FormatFlux> lireFormatTap(IdentifiantAudio tap) = 0;
  /// Relie la capture à la sortie nommée par son identifiant durable.
  virtual ResultatAudio<IdentifiantAudio> creerAgregat(IdentifiantAudio tap,
                                                       const std::string& identifiantSortie) = 0;
  virtual ResultatAudio<std::optional<IdentifiantRappel>> creerRappel(IdentifiantAudio agregat,
                                                                      RappelES rappel) = 0;
  virtual StatutAudio demarrer(IdentifiantAudio agregat, IdentifiantRappel rappel) = 0;
  virtual StatutAudio arreter(IdentifiantAudio agregat, IdentifiantRappel rappel) = 0;
  virtual StatutAudio detruireRappel(IdentifiantAudio agregat, IdentifiantRappel rappel) = 0;
  virtual StatutAudio detruireAgregat(IdentifiantAudio agregat) = 0;
  virtual StatutAudio detruireTap(IdentifiantAudio tap) = 0;
  virtual ResultatAudio<std::optional<DescriptionTap>> lireDescriptionTap(IdentifiantAudio tap) = 0;
  /// Réécrit la description d'une capture qui tourne : le silence change sur-le-champ.
  virtual StatutAudio ecrireDescriptionTap(IdentifiantAudio tap,
                                           const DescriptionTap& description) = 0;
  /// 0 tant que le routage capte ; sinon le statut de la panne qui l'a arrêté pour de bon
  /// (sortie captée disparue sans relève…). Sûr pendant que le rappel tourne.
  virtual StatutAudio lireEchec(IdentifiantAudio agregat) = 0;
};

}  // namespace ravlo
