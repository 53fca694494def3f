// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "faux/accueil_pages_factice.hpp"
#include "faux/capture_fausse.hpp"
#include "faux/carnet_memoire.hpp"
#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/hasard_deterministe.hpp"
#include "faux/magasin_reglages_memoire.hpp"
#include "faux/navigateur_factice.hpp"
#include "link/app/modele_link.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"

namespace ravlo::banc {

inline Cle cle(std::uint8_t octet) {
  Cle c;
  c.fill(octet);
  return c;
}

inline ResultatService service(const std::string& nom) {
  return {PointReseau{"10.99.0.1", 50'000, nom, 2}};
}

/// L'application entière sur des faux : une file manuelle tient lieu de fil principal et des
/// files du chercheur et de l'émetteur. Les connexions passent par le relais des pages, comme
/// dans l'application : celles vers un autre point que celui d'une page sont dans `connexions`.
struct Application {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueNavigateursFactice> navigateurs =
      std::make_shared<faux::FabriqueNavigateursFactice>();
  std::shared_ptr<faux::FabriqueFactice> connexions = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<faux::SonFaux> audio = std::make_shared<faux::SonFaux>();
  std::shared_ptr<MagasinReglagesMemoire> reglages = std::make_shared<MagasinReglagesMemoire>();
  std::shared_ptr<faux::CarnetMemoire> carnet = std::make_shared<faux::CarnetMemoire>();
  /// Ce que sait le résolveur joué : nom → adresse.
  std::map<std::string, std::string, std::less<>> noms;
  std::shared_ptr<RelaisPages> relais = std::make_shared<RelaisPages>();
  /// L'écoute sur un téléphone : chaque port demandé, l'accueil de chaque ouverture réussie ;
  /// un port de `portsPris` est refusé, 0 donne `portLibre`.
  std::vector<std::uint16_t> portsDemandes;
  std::vector<std::shared_ptr<faux::AccueilPagesFactice>> accueils;
  std::set<std::uint16_t> portsPris;
  std::uint16_t portLibre = 40'000;
  std::shared_ptr<ModeleLink> modele;

  explicit Application(bool accueilVu = true) {
    reglages->ecrireBooleen(ModeleLink::cleAccueilVu, accueilVu);
    const auto locale = [] { return std::string("fr"); };
    const auto nom = [] { return std::string("Poste de test"); };
    const auto hasard = [] { return std::make_shared<HasardDeterministe>(1); };
    const auto resoudre = [this](std::string_view hote, FamilleAdresses /*famille*/)
        -> std::expected<std::vector<std::string>, std::string> {
      const auto trouve = noms.find(hote);
      if (trouve == noms.end()) return std::unexpected("inconnu");
      return std::vector{trouve->second};
    };
    const auto ouvrir =
        [this](std::uint16_t port) -> std::expected<EcouteTelephone::AccueilOuvert, ErreurReseau> {
      portsDemandes.push_back(port);
      if (portsPris.contains(port))
        return std::unexpected(ErreurReseau{DomaineErreurReseau::posix, EADDRINUSE});
      return EcouteTelephone::AccueilOuvert{
          accueils.emplace_back(std::make_shared<faux::AccueilPagesFactice>()),
          port == 0 ? portLibre : port};
    };
    const auto adresses = [](std::uint16_t port) {
      const std::string p = std::to_string(port);
      return std::vector<std::string>{"http://poste.local:" + p + "/",
                                      "http://10.99.0.5:" + p + "/", "http://[fd00::5]:" + p + "/"};
    };
    const auto versPages = RelaisPages::fabrique(relais, connexions);
    const ChercheurRavlo::Dependances chercheur{file.get(), file,     navigateurs, versPages,
                                                &horloge,   nom,      hasard,      nullptr,
                                                {},         resoudre, carnet};
    modele = ModeleLink::creer(
        {chercheur,
         {file.get(), audio->fabrique(), file, versPages, &horloge, nullptr, locale},
         reglages,
         {file.get(), relais, ouvrir, adresses, nullptr}});
  }

  // L'arrêt posté de l'émetteur le tient, et lui tient la file : on le laisse s'exécuter.
  ~Application() {
    modele.reset();
    file->executer();
  }
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  ChercheurRavlo& chercheur() { return modele->chercheur(); }
  DiffusionModel& diffusion() { return modele->diffusion(); }

  void reseau(EtatNavigateur::Cas cas) {
    chercheur().demarrer();
    navigateurs->dernier().jouerEtat({cas, ErreurReseau{DomaineErreurReseau::posix, ENETDOWN}});
    file->executer();
  }
  void appaire() {
    chercheur().changerAppaire(ChercheurRavlo::RecepteurAppaire{
        {"Salon", "Salon", service("Salon").point}, Liaison::nouvelle(cle(1), cle(2))});
  }
  void envoyer() {
    if (!chercheur().appaire()) appaire();
    const auto& a = *chercheur().appaire();
    diffusion().demarrer(a.appareil.point, a.liaison, a.appareil.nom);
    file->executer();
  }
  /// Mène l'appairage (ou la reprise) en cours face à `repondeur`, message par message,
  /// jusqu'au verdict.
  void dialoguer(AppairageRepondeur& repondeur) { dialoguer(repondeur, connexions->derniere()); }
  void dialoguer(AppairageRepondeur& repondeur, faux::ConnexionFactice& c) {
    jouer<MessagePasskey>(repondeur, c, false);
  }
  /// Jusqu'au dernier message : la preuve de l'ordinateur, qui le décide, clôt la poignée.
  void dialoguer(RepriseRepondeur& repondeur, faux::ConnexionFactice& c) {
    jouer<MessageReprise>(repondeur, c, true);
  }
  template <class Message, class Repondeur>
  void jouer(Repondeur& repondeur, faux::ConnexionFactice& c, bool apresLeVerdict) {
    for (std::size_t lus = 0;
         (apresLeVerdict || chercheur().appairageEnCours()) && lus < c.envoyes.size();) {
      const auto m = Message::decoder(c.envoyes[lus++]);
      ASSERT_TRUE(m.has_value());
      if (const auto r = repondeur.recevoir(*m)) c.livrer(r->donnees());
      file->executer();
      c.traiterEnvois();
      file->executer();
    }
  }
  /// Le temps passe par pas de `pas`, la capture livrant un bloc de 320 trames à chaque pas.
  void avancerAvecDuSon(std::chrono::milliseconds duree,
                        std::chrono::milliseconds pas = std::chrono::milliseconds(10)) {
    static const std::vector<float> son(640, 0.25F);
    for (auto t = std::chrono::milliseconds(0); t < duree; t += pas) {
      audio->livrer({son, 0, horloge.hoteNs()});
      file->avancer(pas);
    }
  }
  void etatConnexion(EtatConnexion::Cas cas) {
    connexions->derniere().jouerEtat({cas, ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}});
    file->executer();
  }
};

}  // namespace ravlo::banc
