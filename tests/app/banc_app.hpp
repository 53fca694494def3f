// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <gtest/gtest.h>

#include <map>

#include "faux/capture_fausse.hpp"
#include "faux/carnet_memoire.hpp"
#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/hasard_deterministe.hpp"
#include "faux/magasin_reglages_memoire.hpp"
#include "faux/navigateur_factice.hpp"
#include "link/app/modele_link.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"

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
/// files du chercheur et de l'émetteur.
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
    const ChercheurRavlo::Dependances chercheur{file.get(), file,     navigateurs, connexions,
                                                &horloge,   nom,      hasard,      nullptr,
                                                {},         resoudre, carnet};
    modele = ModeleLink::creer(
        {chercheur,
         {file.get(), audio->fabrique(), file, connexions, &horloge, nullptr, locale},
         reglages});
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
  /// Mène l'appairage en cours face à `repondeur`, message par message, jusqu'au verdict.
  void dialoguer(AppairageRepondeur& repondeur) {
    auto& c = connexions->derniere();
    for (std::size_t lus = 0; chercheur().appairageEnCours() && lus < c.envoyes.size();) {
      const auto m = MessagePasskey::decoder(c.envoyes[lus++]);
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
