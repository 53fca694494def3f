// SPDX-License-Identifier: MPL-2.0
// ravlo-envoi : l'envoi sans interface graphique, pour les machines sans bureau, les
// scripts et les tests. Appaire avec un ou plusieurs récepteurs, et avec les téléphones qui
// ouvrent sa page (--navigateur), puis leur envoie un ton ou un fichier WAV au rythme du
// temps réel, ou ce que joue l'ordinateur (--capture).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <expected>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <ranges>

#include "link/capture/texte_erreur_capture.hpp"
#include "link/decouverte/carnet_recepteurs.hpp"
#include "link/decouverte/chercheur_ravlo.hpp"
#include "link/decouverte/demande_code_parle.hpp"
#include "link/decouverte/dialogue_appairage.hpp"
#include "link/diffusion/diffusion.hpp"
#include "link/ressources/page/page_embarquee.hpp"
#include "plateforme/avahi/navigateur_avahi.hpp"
#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"
#include "plateforme/pipewire/fabrique_capture.hpp"
#include "plateforme/principal_asio.hpp"
#include "plateforme/pulseaudio/silence_pulse.hpp"
#include "plateforme/qr/code_qr.hpp"
#include "plateforme/signaux_fin.hpp"
#include "plateforme/systeme.hpp"
#include "plateforme/textes_programme.hpp"
#include "plateforme/web/adresses_page.hpp"
#include "plateforme/web/serveur_web.hpp"
#include "programmes/envoi/lignes_entree.hpp"
#include "programmes/envoi/options_envoi.hpp"
#include "programmes/envoi/pages_envoi.hpp"
#include "protocol/crypto/hasard_systeme.hpp"
#include "protocol/supervision/message_erreur_reseau.hpp"
#include "protocol/supervision/silence_recepteur.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

// Pourquoi l'envoi, ou une pièce, s'arrête. Son nom dans les compteurs écrits (`nom`), que des
// scripts lisent, et sa phrase pour l'utilisateur (`phraseDeFin`) se disent en un seul endroit.
enum class Raison : std::uint8_t {
  parRecepteur,
  injoignable,
  duree,
  finDuFichier,
  interrompu,
  capture,
  captureEnPanne,
  appairage
};

const char* nom(Raison r) {
  switch (r) {
    case Raison::parRecepteur:
      return "fin";
    case Raison::injoignable:
      return "injoignable";
    case Raison::duree:
      return "duree";
    case Raison::finDuFichier:
      return "finDuFichier";
    case Raison::interrompu:
      return "interrompu";
    case Raison::capture:
      return "capture";
    case Raison::captureEnPanne:
      return "captureEnPanne";
    case Raison::appairage:
      return "appairage";
  }
  return "";
}

struct Fin {
  std::optional<Raison> raison;
  int statut = 0;
  std::string prisPar;  ///< par le récepteur : l'émetteur qui l'a pris, s'il l'a dit
};

// Un récepteur appairé : une pièce de la diffusion.
struct Appaire {
  std::optional<std::string> nom;  ///< celui de --recepteur
  PointReseau vers;
  Liaison liaison;
};

// « Salon » pour --recepteur, son adresse pour --vers.
std::string designation(const std::optional<std::string>& nom, const PointReseau& vers) {
  return nom ? "« " + *nom + " »" : enTexte(vers);
}

nlohmann::json ouNull(const std::optional<std::string>& texte) {
  return texte ? nlohmann::json(*texte) : nullptr;
}

nlohmann::json texteErreur(const std::optional<ErreurReseau>& erreur) {
  return erreur ? nlohmann::json(MessageErreurReseau::texte(*erreur, localeCourante())) : nullptr;
}

// Ce qu'on sait d'une pièce à la fin de l'envoi, ou quand elle a fini seule.
struct BilanPiece {
  VoieEmission::Statistiques voie;
  std::optional<Raison> fin;  ///< par le récepteur ou injoignable, si elle a fini avant l'envoi
};

// En tête, l'émetteur et le lien du premier récepteur encore servi (scripts et essais les
// lisent) ; « recepteurs » dit chacun, dans l'ordre de la ligne de commande.
void ecrireStats(const std::filesystem::path& chemin, const EmetteurAudio::Statistiques& s,
                 const VoieEmission::Statistiques& lien, const std::optional<Raison>& raison,
                 const std::vector<Appaire>& appaires, const std::vector<BilanPiece>& bilans) {
  nlohmann::json recepteurs = nlohmann::json::array();
  for (std::size_t i = 0; i < appaires.size(); ++i) {
    const auto& v = bilans[i].voie;
    const auto& fin = bilans[i].fin;
    recepteurs.push_back({{"nom", ouNull(appaires[i].nom)},
                          {"vers", enTexte(appaires[i].vers)},
                          {"paquetsEnvoyes", v.paquetsEnvoyes},
                          {"connexionPrete", v.connexionPrete},
                          {"recepteurMuet", v.recepteurMuet},
                          {"connexionsRefaites", v.connexionsRefaites},
                          {"blocsJetes", v.blocsJetes},
                          {"besoinsRefuses", v.besoinsRefuses},
                          {"horsGroupe", v.horsGroupe},
                          {"erreur", texteErreur(v.erreur)},
                          {"fin", fin ? nlohmann::json(nom(*fin)) : nullptr},
                          {"prisPar", ouNull(v.prisPar)}});
  }
  const nlohmann::json j = {{"paquetsEnvoyes", lien.paquetsEnvoyes},
                            {"octetsJetes", s.octetsJetes},
                            {"paquetsSansHeureDeCapture", s.paquetsSansHeureDeCapture},
                            {"connexionsRefaites", lien.connexionsRefaites},
                            {"pireAttenteMs", s.pireAttenteMs},
                            {"connexionPrete", lien.connexionPrete},
                            {"erreur", texteErreur(lien.erreur)},
                            {"raison", raison ? nom(*raison) : ""},
                            {"recepteurs", recepteurs}};
  std::ofstream(chemin) << j.dump(2) << '\n';
}

// Pourquoi l'envoi s'est arrêté, en une phrase ; rien pour un appairage refusé, déjà dit.
std::string phraseDeFin(const Fin& fin, const std::string& locale) {
  if (!fin.raison) return {};
  switch (*fin.raison) {
    case Raison::parRecepteur: {
      if (fin.prisPar.empty()) return texte("Le récepteur a arrêté la lecture.", locale);
      char phrase[512];
      std::snprintf(phrase, sizeof phrase, texte("%s a pris le récepteur.", locale).c_str(),
                    fin.prisPar.c_str());
      return phrase;
    }
    case Raison::injoignable:
      return texte("Le récepteur ne répond plus : envoi arrêté.", locale);
    case Raison::duree:
      return texte("Durée écoulée : envoi terminé.", locale);
    case Raison::finDuFichier:
      return texte("Fichier envoyé jusqu'au bout.", locale);
    case Raison::interrompu:
      return texte("Envoi interrompu.", locale);
    case Raison::capture:
      return texte("La capture n'a pas pu démarrer : envoi arrêté.", locale);
    case Raison::captureEnPanne:
      return texte("La capture du son s'est arrêtée : envoi arrêté.", locale);
    case Raison::appairage:
      return {};
  }
  return {};
}

// Le lien que disent la ligne d'état et la tête des compteurs : celui du premier récepteur
// encore servi ; chacun a le sien dans `pieces`.
VoieEmission::Statistiques premier(const Diffusion::Statistiques& s) {
  return s.pieces.empty() ? VoieEmission::Statistiques{} : s.pieces.front().voie;
}

void attendreRepere(Executeur& file) {
  std::promise<void> repere;
  file.poster([&repere] { repere.set_value(); });
  repere.get_future().wait();
}

// Une diffusion pilotée depuis la ligne de commande : une ligne d'état par seconde, sa fin
// dite en une phrase et ses compteurs écrits. Une capture qui ne livre plus (serveur de son
// arrêté ou relancé) est relancée tant que dure l'envoi, de plus en plus rarement : sa perte
// et son retour se disent sur la sortie d'erreur, la ligne d'état le montre entre-temps, et
// l'envoi ne finit que par le récepteur, un signal ou --secondes. Un récepteur qui part quand
// d'autres restent est dit sur la sortie d'erreur, et l'envoi continue.
class Envoi {
 public:
  Envoi(const OptionsEnvoi& options, std::vector<Appaire> appaires, PrincipalAsio& principal,
        const std::shared_ptr<FabriqueConnexions>& connexions, Fin& fin,
        const FabriqueSource& source)
      : options_(options),
        principal_(principal),
        fin_(fin),
        appaires_(std::move(appaires)),
        bilans_(appaires_.size()),
        diffusion_(Diffusion::creer(
            {&principal, fileEmetteur_, connexions, &horlogeSysteme(), true}, source,
            appaires_[0].vers, appaires_[0].liaison, appaires_[0].nom.value_or(""))) {
    // Avant le démarrage : toutes les pièces partent au même bloc.
    for (const Appaire& a : appaires_ | std::views::drop(1))
      diffusion_->ajouterPiece(a.vers, a.liaison, a.nom.value_or(""));
    diffusion_->quandFin([this](Diffusion::Fin f) { surFin(f); });
    diffusion_->quandPieceFinie(
        [this](Diffusion::NumeroPiece n, Diffusion::Fin f) { surPieceFinie(n, f); });
    diffusion_->quandSilence(
        [this](Diffusion::NumeroPiece n, bool muette) { direSilence(n, muette); });
    // Le relevé d'une pièce qui part seule ne se lit plus après : on garde le dernier.
    diffusion_->quandChange([this] { retenir(diffusion_->statistiques()); });
  }

  /// Un récepteur de plus (un téléphone appairé) : il reçoit les blocs à partir du suivant.
  void ajouter(Appaire a) {
    if (fin_.raison) return;
    // Listée avant d'être servie : un rappel de la pièce trouve déjà son nom.
    appaires_.push_back(a);
    bilans_.emplace_back();
    horsGroupe_.push_back(false);
    diffusion_->ajouterPiece(std::move(a.vers), std::move(a.liaison), a.nom.value_or(""));
  }

  void demarrer() {
    debutNs_ = horlogeSysteme().hoteNs();
    if (const auto demarrage = diffusion_->demarrer(); !demarrage) {
      std::fprintf(stderr, "%s\n", texteErreurCapture(demarrage.error(), localeCourante()).c_str());
      terminer(Raison::capture, 1);
      return;
    }
    suivi_ = principal_.repeter(std::chrono::seconds(1), std::chrono::milliseconds(50),
                                [this] { suivre(); });
  }

  void terminer(Raison raison, int statut, std::string prisPar = {}) {
    if (fin_.raison) return;
    fin_ = {raison, statut, std::move(prisPar)};
    principal_.arreter();
  }

  /// Arrête tout dans l'ordre et écrit les compteurs ; à appeler avant la destruction.
  void fermer() {
    if (suivi_) suivi_->annuler();
    diffusion_->arreter();
    // La file est série : ce repère passé, le dernier envoi est compté.
    attendreRepere(*fileEmetteur_);
    const auto r = diffusion_->releve();
    retenir(r);
    if (options_.stats)
      ecrireStats(*options_.stats, r.emetteur, premier(r), fin_.raison, appaires_, bilans_);
  }

 private:
  void retenir(const Diffusion::Statistiques& s) {
    for (const auto& p : s.pieces)
      if (p.numero < bilans_.size()) bilans_[p.numero].voie = p.voie;
  }

  // Une pièce qui sort du groupe se dit une fois, jusqu'à ce qu'elle y revienne.
  void direHorsGroupe(const Diffusion::Statistiques& s) {
    for (const auto& p : s.pieces) {
      if (p.numero >= horsGroupe_.size() || p.voie.horsGroupe == horsGroupe_[p.numero]) continue;
      horsGroupe_[p.numero] = p.voie.horsGroupe;
      if (!p.voie.horsGroupe) continue;
      const std::string modele =
          texte("%s demande plus de latence que sa file n'en tient : il joue seul, hors du groupe.",
                localeCourante());
      std::fprintf(stderr, (modele + "\n").c_str(),
                   designation(appaires_[p.numero].nom, appaires_[p.numero].vers).c_str());
    }
  }

  void surPieceFinie(Diffusion::NumeroPiece n, Diffusion::Fin f) {
    if (n >= appaires_.size()) return;
    const bool parRecepteur = f == Diffusion::Fin::parRecepteur;
    bilans_[n].fin = parRecepteur ? Raison::parRecepteur : Raison::injoignable;
    // Ses compteurs de la fin, plus frais que le dernier relevé.
    if (const auto c = diffusion_->compteursPiece(n)) bilans_[n].voie = *c;
    const std::string piece = designation(appaires_[n].nom, appaires_[n].vers);
    if (const auto& prisPar = bilans_[n].voie.prisPar; parRecepteur && prisPar) {
      const std::string modele =
          texte("%s a pris %s ; l'envoi continue vers les autres récepteurs.", localeCourante());
      std::fprintf(stderr, (modele + "\n").c_str(), prisPar->c_str(), piece.c_str());
      return;
    }
    const std::string modele =
        parRecepteur
            ? texte("%s a arrêté la lecture ; l'envoi continue vers les autres récepteurs.",
                    localeCourante())
            : texte("%s ne répond plus ; l'envoi continue vers les autres récepteurs.",
                    localeCourante());
    std::fprintf(stderr, (modele + "\n").c_str(), piece.c_str());
  }

  // Une fois par changement, dès le relevé qui le voit : l'envoi vers elle continue.
  void direSilence(Diffusion::NumeroPiece n, bool muette) {
    if (n >= appaires_.size()) return;
    const std::string piece = designation(appaires_[n].nom, appaires_[n].vers);
    if (muette) {
      const std::string modele =
          texte("%s se tait : rien reçu de lui depuis %d s ; l'envoi continue.", localeCourante());
      std::fprintf(stderr, (modele + "\n").c_str(), piece.c_str(),
                   static_cast<int>(SilenceRecepteur::silencieuxNs / 1'000'000'000));
    } else {
      const std::string modele = texte("%s répond de nouveau.", localeCourante());
      std::fprintf(stderr, (modele + "\n").c_str(), piece.c_str());
    }
  }

  void surFin(Diffusion::Fin f) {
    switch (f) {
      case Diffusion::Fin::parRecepteur: {
        // La dernière pièce reste listée : ses compteurs disent qui a pris son récepteur.
        const auto pieces = diffusion_->releve().pieces;
        return terminer(Raison::parRecepteur, 0,
                        pieces.empty() ? "" : pieces.front().voie.prisPar.value_or(""));
      }
      case Diffusion::Fin::injoignable:
        return terminer(Raison::injoignable, 1);
      case Diffusion::Fin::sourceEpuisee:
        return terminer(Raison::finDuFichier, 0);
      case Diffusion::Fin::sourceEnPanne:
        // Serveur de son relancé ou sortie perdue : l'outil s'arrête et dit pourquoi.
        if (const auto panne = diffusion_->panne())
          std::fprintf(stderr, "%s\n", texteErreurCapture(*panne, localeCourante()).c_str());
        return terminer(Raison::captureEnPanne, 1);
    }
  }

  // Ce que la capture a livré, et le niveau de son dernier bloc.
  std::string capte(const Diffusion::Statistiques& s) const {
    if (!options_.capture) return {};
    if (s.sourceMuette) return texte("  capture absente", localeCourante());
    const float niveau = diffusion_->niveau();
    char ligne[160];
    std::snprintf(ligne, sizeof ligne,
                  texte("  capté %lld trames, niveau %.1f dBFS", localeCourante()).c_str(),
                  static_cast<long long>(s.trames), niveau > 0 ? 20 * std::log10(niveau) : -120.0);
    return ligne;
  }

  // Avec plusieurs récepteurs, les paquets de chacun encore servi.
  std::string pieces(const Diffusion::Statistiques& s) const {
    if (appaires_.size() < 2) return {};
    std::string ligne = texte("  récepteurs", localeCourante());
    for (const auto& p : s.pieces) {
      ligne += ' ';
      ligne += std::to_string(p.voie.paquetsEnvoyes);
    }
    return ligne;
  }

  // La capture perdue puis retrouvée, dite une fois chacune.
  void direCapture(const Diffusion::Statistiques& s) {
    if (s.sourceMuette == captureAbsente_) return;
    captureAbsente_ = s.sourceMuette;
    const char* phrase = captureAbsente_
                             ? cleTexte(
                                   "Plus rien n'est capté (serveur de son arrêté ?) : "
                                   "l'envoi continue et la capture se relance d'elle-même.")
                             : cleTexte("La capture du son a repris.");
    std::fprintf(stderr, "%s\n", texte(phrase, localeCourante()).c_str());
  }

  // Les récepteurs muets ; avec plusieurs, chacun nommé, pas seulement le premier.
  std::string muets(const Diffusion::Statistiques& s) const {
    std::string noms;
    for (const auto& p : s.pieces) {
      if (!p.voie.recepteurMuet || p.numero >= appaires_.size()) continue;
      noms += (noms.empty() ? "" : ", ") +
              designation(appaires_[p.numero].nom, appaires_[p.numero].vers);
    }
    if (noms.empty()) return {};
    if (appaires_.size() < 2) return texte("  récepteur muet", localeCourante());
    return texte("  récepteur muet : ", localeCourante()) + noms;
  }

  void suivre() {
    const auto r = diffusion_->releve();
    direHorsGroupe(r);
    direCapture(r);
    const auto& s = r.emetteur;
    const VoieEmission::Statistiques v = premier(r);
    const std::string locale = localeCourante();
    const double ecoule = static_cast<double>(ecartNs(horlogeSysteme().hoteNs(), debutNs_)) / 1e9;
    const std::string modele = texte(
        "%6.1f s  paquets %lld  jetés %lld o  sans heure %lld  refaites %lld  "
        "pire attente %.2f ms%s%s%s%s",
        locale);
    const std::string erreur = v.erreur ? "  " + MessageErreurReseau::texte(*v.erreur, locale) : "";
    std::printf((modele + "\n").c_str(), ecoule, static_cast<long long>(v.paquetsEnvoyes),
                static_cast<long long>(s.octetsJetes),
                static_cast<long long>(s.paquetsSansHeureDeCapture),
                static_cast<long long>(v.connexionsRefaites), s.pireAttenteMs, muets(r).c_str(),
                erreur.c_str(), capte(r).c_str(), pieces(r).c_str());
    std::fflush(stdout);
    if (options_.secondes && ecoule >= *options_.secondes) terminer(Raison::duree, 0);
  }

  const OptionsEnvoi& options_;
  PrincipalAsio& principal_;
  Fin& fin_;
  std::vector<Appaire> appaires_;   ///< par numéro de pièce, téléphones ajoutés compris
  std::vector<BilanPiece> bilans_;  ///< un par récepteur, par numéro de pièce
  std::vector<bool> horsGroupe_ = std::vector<bool>(appaires_.size());  ///< déjà dit
  std::shared_ptr<FileSerie> fileEmetteur_ =
      std::make_shared<FileSerie>("ravlo.emetteur", FileSerie::Priorite::elevee);
  std::shared_ptr<Diffusion> diffusion_;
  std::unique_ptr<Minuterie> suivi_;
  InstantNs debutNs_ = 0;
  bool captureAbsente_ = false;
};

// Fait tourner le fil principal jusqu'à ce que `fini` tienne, que `delai` soit passé ou
// qu'un signal de fin arrive ; vrai dans ce dernier cas.
bool tournerJusqua(PrincipalAsio& principal, std::chrono::milliseconds delai,
                   const std::function<bool()>& fini) {
  if (fini()) return false;
  const auto echeance = std::chrono::steady_clock::now() + delai;
  auto suivi = principal.repeter(std::chrono::milliseconds(20), std::chrono::milliseconds(10), [&] {
    if (fini() || std::chrono::steady_clock::now() >= echeance) principal.arreter();
  });
  bool interrompu = false;
  SignauxFin signaux(principal);
  signaux.attendre([&](int) {
    interrompu = true;
    principal.arreter();
  });
  principal.executer();
  return interrompu;
}

// Le serveur de la page, à l'écoute, et où l'ouvrir, dit sur la sortie d'erreur (la sortie
// standard reste aux récepteurs listés et à l'état de l'envoi) : les adresses, le code QR de
// la première qu'un téléphone sait joindre, le port. Un port pris : la phrase, et rien.
std::shared_ptr<ServeurWeb> servirPage(std::uint16_t port, const std::string& locale) {
  auto serveur = std::make_shared<ServeurWeb>(ressourcesPage(), ReglagesServeurWeb{});
  const auto lie = serveur->ecouter(port);
  if (!lie) {
    if (lie.error().domaine == DomaineErreurReseau::posix && lie.error().code == EADDRINUSE) {
      std::fprintf(
          stderr,
          (texte("Le port %d est déjà pris : choisis-en un autre avec --port-web.", locale) + "\n")
              .c_str(),
          static_cast<int>(port));
    } else {
      std::fprintf(
          stderr,
          (texte("La page ne peut pas être servie sur le port %d : %s", locale) + "\n").c_str(),
          static_cast<int>(port), MessageErreurReseau::texte(lie.error(), locale).c_str());
    }
    return nullptr;
  }
  const auto adresses = adressesPage(*lie);
  if (adresses.empty()) {
    std::fprintf(
        stderr, "%s\n",
        texte("Aucune adresse du réseau local : un téléphone ne joindra pas la page.", locale)
            .c_str());
  } else {
    std::fprintf(stderr, "%s\n",
                 texte("Pour écouter sur un téléphone du même réseau, ouvre :", locale).c_str());
    for (const auto& a : adresses) std::fprintf(stderr, "  %s\n", a.c_str());
    if (const auto qr = coderQr(adressePourQr(adresses)))
      std::fputs(qrEnTexte(*qr).c_str(), stderr);
  }
  std::fprintf(stderr, (texte("Page servie sur le port %d.", locale) + "\n").c_str(),
               static_cast<int>(*lie));
  std::fflush(stderr);
  return serveur;
}

std::shared_ptr<ChercheurRavlo> chercheurAvahi(PrincipalAsio& principal) {
  auto chercheur = ChercheurRavlo::creer(
      ChercheurRavlo::dependancesSysteme(principal, std::make_shared<FabriqueNavigateursAvahi>()));
  chercheur->demarrer();
  return chercheur;
}

// Les récepteurs vus en 3 s, un par ligne : nom, tabulation, adresse:port, et « mémorisé »
// après une tabulation pour ceux qu'on reprend sans code. Avec la page servie, on attend en
// plus qu'un téléphone l'ouvre (le temps de viser le code QR), puis chaque page reliée suit,
// « téléphone » après son adresse.
int lister(const OptionsEnvoi& options) {
  const std::string locale = localeCourante();
  PrincipalAsio principal;
  std::shared_ptr<ServeurWeb> serveur;
  std::vector<PageConnectee> pages;
  if (options.navigateur) {
    serveur = servirPage(options.portWeb, locale);
    if (!serveur) return 1;
    serveur->demarrer(
        principal, [&](const PageConnectee& p) { pages.push_back(p); },
        [&](const PointReseau& p) {
          std::erase_if(pages, [&](const PageConnectee& q) { return q.point == p; });
        });
  }
  auto chercheur = chercheurAvahi(principal);
  const auto debut = std::chrono::steady_clock::now();
  const bool interrompu = tournerJusqua(
      principal, options.navigateur ? std::chrono::hours(24) : std::chrono::seconds(3), [&] {
        return options.navigateur && !pages.empty() &&
               std::chrono::steady_clock::now() - debut >= std::chrono::seconds(3);
      });
  if (serveur) serveur->arreter();
  if (interrompu) return 130;
  const std::string memorise = texte("mémorisé", locale);
  for (const auto& a : chercheur->appareils())
    std::printf("%s\t%s%s\n", a.nom.c_str(), enTexte(a.point).c_str(),
                a.memorise ? ("\t" + memorise).c_str() : "");
  const std::string telephone = texte("téléphone", locale);
  for (const auto& p : pages)
    std::printf("%s\t%s\t%s\n", p.nom.c_str(), enTexte(p.point).c_str(), telephone.c_str());
  if (const std::string t = chercheur->etatReseau().texte(localeCourante()); !t.empty()) {
    std::fprintf(stderr, "%s\n", t.c_str());
  }
  return 0;
}

// Retire le récepteur nommé (ou son « hôte:port ») du carnet.
int oublier(const std::string& nom) {
  const std::string locale = localeCourante();
  CarnetFichier carnet(CarnetFichier::cheminParDefaut());
  bool trouve = false;
  const bool ecrit = carnet.modifier([&](std::vector<RecepteurMemorise>& c) {
    trouve = oublierMemorise(c, nom);
    return trouve;
  });
  if (!trouve) {
    std::fprintf(stderr, (texte("Aucun appairage mémorisé avec « %s ».", locale) + "\n").c_str(),
                 nom.c_str());
    return 1;
  }
  if (!ecrit) {
    std::fprintf(stderr, "%s\n",
                 texte("Le carnet des récepteurs n'a pas pu être écrit.", locale).c_str());
    return 1;
  }
  std::printf(
      (texte("« %s » est oublié : la prochaine fois, il faudra son code.", locale) + "\n").c_str(),
      nom.c_str());
  return 0;
}

// Chaque récepteur annoncé sous ces noms, cherchés ensemble 5 s au plus ou jusqu'à un signal
// de fin.
std::map<std::string, ChercheurRavlo::Appareil> trouver(const std::vector<std::string>& noms,
                                                        bool& interrompu) {
  PrincipalAsio principal;
  auto chercheur = chercheurAvahi(principal);
  std::map<std::string, ChercheurRavlo::Appareil> trouves;
  interrompu = tournerJusqua(principal, std::chrono::seconds(5), [&] {
    for (const auto& a : chercheur->appareils())
      if (std::ranges::find(noms, a.nom) != noms.end()) trouves[a.nom] = a;
    return std::ranges::all_of(noms, [&](const std::string& n) { return trouves.contains(n); });
  });
  return trouves;
}

// Les récepteurs nommés, cherchés sur le réseau local : leur point, et ce que chacun annonce
// (son identifiant, s'il reprend un appairage retenu). Un récepteur visé par son adresse
// n'annonce rien. En échec, le code de sortie.
std::expected<std::vector<AnnonceRecepteur>, int> resoudre(
    std::vector<OptionsEnvoi::Destination>& destinations, const std::string& locale) {
  std::vector<AnnonceRecepteur> annonces(destinations.size());
  std::vector<std::string> noms;
  for (const auto& d : destinations)
    if (d.recepteur) noms.push_back(*d.recepteur);
  if (noms.empty()) return annonces;
  bool interrompu = false;
  const auto trouves = trouver(noms, interrompu);
  if (interrompu) return std::unexpected(130);
  for (std::size_t i = 0; i < destinations.size(); ++i) {
    auto& d = destinations[i];
    if (!d.recepteur) continue;
    const auto point = trouves.find(*d.recepteur);
    if (point == trouves.end()) {
      std::fprintf(
          stderr,
          (texte("Récepteur « %s » introuvable sur le réseau local.", locale) + "\n").c_str(),
          d.recepteur->c_str());
      return std::unexpected(1);
    }
    d.vers = point->second.point;
    annonces[i] = {point->second.identifiant, point->second.connaitReprise};
  }
  return annonces;
}

// Un datagramme, sans réponse à attendre : le récepteur parle, ou se tait s'il ne sait pas
// (plus ancien), n'a pas de code à donner ou vient de le dire.
int faireEntendre(const OptionsEnvoi::Destination& destination) {
  const std::string locale = localeCourante();
  std::vector<OptionsEnvoi::Destination> une{destination};
  if (const auto r = resoudre(une, locale); !r) return r.error();
  const auto& d = une.front();
  PrincipalAsio principal;
  const PlateformeDialogue plateforme{std::make_shared<FileSerie>("ravlo.chercheur"),
                                      std::make_shared<FabriqueConnexionsUDP>()};
  demanderCodeParle(d.vers, plateforme, principal, [&principal] { principal.arreter(); });
  principal.executer();
  std::printf((texte("Demande envoyée : %s dit son code à voix haute s'il le peut.", locale) + "\n")
                  .c_str(),
              designation(d.recepteur, d.vers).c_str());
  return 0;
}

int executer(OptionsEnvoi options) {
  if (options.liste) return lister(options);
  if (options.oublier) return oublier(*options.oublier);
  if (options.faireEntendre) return faireEntendre(options.destinations.front());
  // Un envoi tué net pendant qu'il taisait l'ordinateur l'a laissé muet : le son revient dès
  // maintenant, pas à la prochaine capture.
  SilencePulse::rendreLeSonLaisse(repertoireEtatParDefaut());
  const std::string locale = localeCourante();
  FabriqueSource source;
  if (options.capture) {
    source = sourceCapture([] { return captureDuServeur(); }, options.silencieux);
  } else {
    // Le fichier se lit avant l'appairage : un fichier qui ne convient pas ne fait rien partir.
    auto lu = std::shared_ptr<SourceAudio>(std::make_unique<SourceTon>(options.tonHz));
    if (options.wav) {
      auto wav = SourceWav::ouvrir(*options.wav, locale);
      if (!wav) {
        std::fprintf(stderr, "%s\n", wav.error().c_str());
        return 2;
      }
      lu = std::move(*wav);
    }
    source = sourceCadencee(lu, horlogeSysteme());
  }
  std::vector<std::optional<CodeAppairage>> codes;
  for (const auto& d : options.destinations) {
    if (d.code.empty()) {
      codes.emplace_back();
      continue;
    }
    const auto code = CodeAppairage::depuisSaisie(d.code);
    if (!code) {
      std::fprintf(stderr, "%s\n",
                   texte("Le code doit faire exactement 4 chiffres.", locale).c_str());
      return 2;
    }
    codes.push_back(code);
  }

  const auto resolus = resoudre(options.destinations, locale);
  if (!resolus) return resolus.error();
  const auto& annonces = *resolus;
  CarnetFichier carnet(CarnetFichier::cheminParDefaut());
  const auto secondes = [] {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  };

  PrincipalAsio principal;
  std::shared_ptr<FabriqueConnexions> connexions = std::make_shared<FabriqueConnexionsUDP>();
  auto fileChercheur = std::make_shared<FileSerie>("ravlo.chercheur");
  const std::string nomEmetteur = options.nom.value_or(nomMachine());
  // Avec la page servie, un téléphone est un point comme un autre : le dialogue et les voies
  // ouvrent sa connexion par la même fabrique.
  std::unique_ptr<PagesEnvoi> pages;
  if (options.navigateur) {
    auto serveur = servirPage(options.portWeb, locale);
    if (!serveur) return 1;
    pages = std::make_unique<PagesEnvoi>(
        serveur, principal, fileChercheur, connexions, nomEmetteur, locale,
        std::make_shared<CarnetFichier>(CarnetFichier::cheminParDefaut()));
    connexions = pages->connexions();
  }
  Fin fin;
  std::unique_ptr<Envoi> diffusion;
  // SIGHUP : le terminal fermé doit aussi rendre le son de l'ordinateur.
  SignauxFin signaux(principal);
  signaux.attendre([&](int) {
    if (diffusion) {
      diffusion->terminer(Raison::interrompu, 0);
    } else {
      fin = {Raison::interrompu, 130, {}};
      principal.arreter();
    }
  });

  // Un récepteur après l'autre, dans l'ordre de la ligne de commande ; le premier refus
  // arrête tout, avant que rien ne parte. L'envoi part quand tous sont appairés, ou au premier
  // téléphone appairé sans récepteur nommé ; un téléphone appairé ensuite le rejoint.
  const bool plusieurs = options.destinations.size() > 1;
  std::vector<Appaire> appaires;  // jusqu'au départ de l'envoi
  std::size_t recepteursAppaires = 0;
  std::function<void()> appairerSuivant;
  const auto echouer = [&](int statut) {
    fin = {Raison::appairage, statut, {}};
    principal.arreter();
  };
  const auto lancerSiPret = [&] {
    if (diffusion || fin.raison || appaires.empty() ||
        recepteursAppaires < options.destinations.size())
      return;
    diffusion =
        std::make_unique<Envoi>(options, std::move(appaires), principal, connexions, fin, source);
    diffusion->demarrer();
  };
  const auto accepter = [&](std::size_t i, const Liaison& liaison) {
    const auto& d = options.destinations[i];
    appaires.push_back({d.recepteur, d.vers, liaison});
    if (++recepteursAppaires < options.destinations.size()) return appairerSuivant();
    lancerSiPret();
  };
  // Le refus dit comme pour un récepteur ; un téléphone a lui aussi tiré un code neuf.
  const auto direEchec = [&](const IssueDialogue& issue, const AppairageInitiateur& initiateur,
                             bool telephone) {
    if (!issue) {
      std::fprintf(stderr, "%s\n", texte(issue.error(), locale).c_str());
    } else if (initiateur.codeGrille()) {
      std::fprintf(
          stderr, "%s.\n%s\n", texte("Code refusé", locale).c_str(),
          telephone
              ? texte("Le téléphone affiche maintenant un nouveau code : tape celui-là.", locale)
                    .c_str()
              // Le récepteur a déjà tiré un code neuf : l'ancien ne servirait plus.
              : texte("Le récepteur affiche maintenant un nouveau code : tape celui-là.", locale)
                    .c_str());
    } else {
      std::fprintf(stderr, "%s\n", texte(ErreurAppairage::refusAvantDevoilement, locale).c_str());
    }
    std::fflush(stderr);
  };
  const auto appairerAuCode = [&](std::size_t i) {
    auto initiateur = std::make_shared<AppairageInitiateur>(*codes[i], nomEmetteur,
                                                            std::make_shared<HasardSysteme>());
    lancerDialogue(
        initiateur, options.destinations[i].vers, PlateformeDialogue{fileChercheur, connexions},
        principal, [&, i, initiateur](std::expected<void, EchecDialogue> issue) {
          const auto& d = options.destinations[i];
          const auto* reussi =
              issue ? std::get_if<AppairageInitiateur::Reussi>(&initiateur->etat()) : nullptr;
          if (reussi == nullptr) {
            if (plusieurs) {
              const std::string modele = texte("Appairage impossible avec %s :", locale) + "\n";
              std::fprintf(stderr, modele.c_str(), designation(d.recepteur, d.vers).c_str());
            }
            direEchec(issue, *initiateur, false);
            return echouer(1);
          }
          std::printf((texte("Appairé avec %s.", locale) + "\n").c_str(), enTexte(d.vers).c_str());
          std::fflush(stdout);
          (void)carnet.modifier([&](std::vector<RecepteurMemorise>& c) {
            retenirMemorise(c, {annonces[i].identifiant, enTexte(d.vers), reussi->paire,
                                d.recepteur.value_or(enTexte(d.vers)), secondes()});
            return true;
          });
          accepter(i, reussi->liaison);
        });
  };
  // Sans code, ou sans réponse à la reprise, un récepteur non retenu demande son code.
  const auto demanderCode = [&](std::size_t i) {
    const auto& d = options.destinations[i];
    std::fprintf(stderr,
                 (texte("%s ne reprend pas d'appairage mémorisé : donne son code (--code ou "
                        "RAVLO_CODE).",
                        locale) +
                  "\n")
                     .c_str(),
                 designation(d.recepteur, d.vers).c_str());
    echouer(1);
  };
  appairerSuivant = [&] {
    const std::size_t i = recepteursAppaires;
    const auto& d = options.destinations[i];
    const auto retenu = chercherMemorise(carnet.lire(), annonces[i].identifiant, enTexte(d.vers));
    // Un récepteur qui annonce ne pas connaître la reprise ne répondrait pas : le code tout de
    // suite.
    if (!retenu || (d.recepteur && !annonces[i].connaitReprise)) {
      if (codes[i]) return appairerAuCode(i);
      return demanderCode(i);
    }
    auto reprise =
        std::make_shared<RepriseInitiateur>(retenu->paire, std::make_shared<HasardSysteme>());
    lancerReprise(reprise, d.vers, PlateformeDialogue{fileChercheur, connexions}, principal,
                  [&, i, reprise](const IssueDialogue& /*issue*/) {
                    const auto& vise = options.destinations[i];
                    const auto* reussi = std::get_if<RepriseInitiateur::Reussi>(&reprise->etat());
                    if (reussi == nullptr) {
                      // Un refus n'est pas authentifié : le carnet garde l'appairage.
                      if (codes[i]) return appairerAuCode(i);
                      return demanderCode(i);
                    }
                    std::printf((texte("Appairage repris avec %s.", locale) + "\n").c_str(),
                                enTexte(vise.vers).c_str());
                    std::fflush(stdout);
                    (void)carnet.modifier([&](std::vector<RecepteurMemorise>& c) {
                      auto r = chercherMemorise(c, annonces[i].identifiant, enTexte(vise.vers));
                      if (!r) return false;
                      r->adresse = enTexte(vise.vers);
                      r->dernierUsage = secondes();
                      retenirMemorise(c, std::move(*r));
                      return true;
                    });
                    Liaison liaison = reussi->liaison;
                    liaison.aRenvoyer = reprise->dernierMessage().donnees();
                    accepter(i, liaison);
                  });
  };
  std::unique_ptr<LignesEntree> lignes;
  if (pages) {
    pages->demarrer(
        [&](const PageConnectee& page, const Liaison& liaison) {
          Appaire a{page.nom, page.point, liaison};
          if (diffusion) return diffusion->ajouter(std::move(a));
          appaires.push_back(std::move(a));
          lancerSiPret();
        },
        [&](const IssueDialogue& issue, const AppairageInitiateur& initiateur) {
          direEchec(issue, initiateur, true);
        },
        options.codePage);
    lignes = std::make_unique<LignesEntree>(std::cin, principal,
                                            [&](std::string l) { pages->code(std::move(l)); });
  }
  // Posté : un refus immédiat (pas de code) arrête une boucle qui tourne déjà.
  if (!options.destinations.empty()) principal.poster([&] { appairerSuivant(); });
  principal.executer();
  signaux.annuler();
  lignes.reset();
  if (diffusion) diffusion->fermer();
  diffusion.reset();
  if (pages) pages->arreter();
  if (const std::string phrase = phraseDeFin(fin, locale); !phrase.empty())
    std::printf("%s\n", phrase.c_str());
  return fin.statut;
}

}  // namespace
}  // namespace ravlo

int main(int argc, char** argv) {
  // Avant tout fil : un signal de fin ne tue plus le programme, il se lit, et l'envoi
  // s'arrête en rendant le son de l'ordinateur.
  ravlo::SignauxFin::bloquer();
  // Les clés d'un appairage ou d'un flux ne partent dans aucun vidage de mémoire.
  (void)ravlo::interdireVidagesMemoire();
  try {
    const std::string locale = ravlo::preparerTextes();
    const auto options =
        ravlo::OptionsEnvoi::lire(std::span<const char* const>(argv + 1, argc - 1), std::cin,
                                  // Un seul fil à ce stade : personne ne modifie l'environnement.
                                  std::getenv("RAVLO_CODE"),  // NOLINT(concurrency-mt-unsafe)
                                  locale);
    const std::string_view premier = argc > 1 ? argv[1] : "";
    if (premier == "--help" || premier == "-h") {
      std::fputs(ravlo::OptionsEnvoi::usage(locale).c_str(), stdout);
      return 0;
    }
    if (premier == "--version") {
      std::printf("ravlo-envoi %s\n", RAVLO_VERSION);
      return 0;
    }
    if (!options) {
      std::fprintf(stderr, "%s\n%s", options.error().c_str(),
                   ravlo::OptionsEnvoi::usage(locale).c_str());
      return 2;
    }
    return ravlo::executer(*options);
  } catch (const std::exception& e) {
    // Mémoire ou fil impossibles à obtenir : rien d'autre ne lève.
    std::fprintf(stderr, "ravlo-envoi : %s\n", e.what());
    return 3;
  }
}
