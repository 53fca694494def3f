// SPDX-License-Identifier: MPL-2.0
// L'assemblage d'une diffusion face à une source jouée par le test : démarrage refusé, fins
// par la source, fin du récepteur après l'arrêt.
#include "link/diffusion/diffusion.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_horloge.hpp"
#include "protocol/messages/message_releve.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Fin = Diffusion::Fin;

// Une source dont le test règle tout ; elle écrit dans l'anneau ce qu'on lui dit de livrer.
struct SourceJouee final : SourceDiffusion {
  explicit SourceJouee(std::shared_ptr<TamponAudio> t) : tampon(std::move(t)) {}
  std::expected<void, ErreurCapture> demarrer() override {
    ++demarrages;
    if (refus) return std::unexpected(*refus);
    return {};
  }
  // Comme une vraie capture : arrêtée, elle ne dit plus sa panne.
  void arreter() override {
    ++arrets;
    enPanne.reset();
  }
  std::expected<void, ErreurCapture> relancer() override {
    ++relances;
    return demarrer();
  }
  std::int64_t trames() const override { return livrees; }
  std::optional<ErreurCapture> panne() const override { return enPanne; }
  bool epuisee() const override { return fini; }
  float niveau() const override { return 0.5F; }
  bool changerSilence(bool) override { return true; }
  void livrer(std::int64_t n) {
    tampon->ecrire(Octets(static_cast<std::size_t>(4 * n), 0), std::nullopt);
    livrees += n;
  }

  std::shared_ptr<TamponAudio> tampon;
  std::optional<ErreurCapture> refus, enPanne;
  bool fini = false;
  int demarrages = 0, arrets = 0, relances = 0;
  std::int64_t livrees = 0;
};

struct AssemblageDiffusion : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueFactice> connexions = std::make_shared<faux::FabriqueFactice>();
  SourceJouee* source = nullptr;
  std::vector<Fin> fins;
  int changements = 0;

  static Cle cle(std::uint8_t octet) {
    Cle c;
    c.fill(octet);
    return c;
  }
  // Paquets audio de `c` qu'ouvre la clé du récepteur ; ce qui a été envoyé est oublié.
  static std::size_t paquets(faux::ConnexionFactice& c, std::uint8_t cleRecepteur) {
    Ouvreur ouvreur(cle(cleRecepteur));
    const auto n = std::ranges::count_if(c.envoyes, [&](const Octets& d) {
      const auto ouvert = ouvreur.ouvrir(d);
      return ouvert && ouvert->sorte == SorteEnveloppe::audio;
    });
    c.envoyes.clear();
    return static_cast<std::size_t>(n);
  }

  std::shared_ptr<Diffusion> creer(bool relancer, std::optional<ErreurCapture> refus = {}) {
    Cle versRecepteur = cle(1), versEmetteur = cle(2);
    auto d = Diffusion::creer(
        {file.get(), file, connexions, &horloge, relancer},
        [&](std::shared_ptr<TamponAudio> t) {
          auto s = std::make_unique<SourceJouee>(std::move(t));
          s->refus = refus;
          source = s.get();
          return s;
        },
        PointReseau{"127.0.0.1", 50'000}, Liaison::nouvelle(versRecepteur, versEmetteur), "Salon");
    d->quandFin([this](Fin f) { fins.push_back(f); });
    d->quandChange([this] { ++changements; });
    return d;
  }
  ~AssemblageDiffusion() override { file->executer(); }
};

TEST_F(AssemblageDiffusion, LaSourceRefuseeNeLaisseRienPartir) {
  const auto d = creer(true, ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -1});
  const auto demarrage = d->demarrer();
  ASSERT_FALSE(demarrage);
  EXPECT_EQ(demarrage.error().cas, ErreurCapture::Cas::serveurInjoignable);
  EXPECT_FALSE(d->enCours());
  EXPECT_TRUE(connexions->creees.empty()) << "aucun émetteur";
  file->avancer(3s);
  EXPECT_TRUE(fins.empty());
}

// Sans relance (ravlo-envoi), la panne de la source finit la diffusion, une seule fois, et le
// dernier relevé se voit avant ; une source épuisée la finit aussi, l'anneau vidé.
TEST_F(AssemblageDiffusion, LaSourceFinitLaDiffusion) {
  struct Cas {
    const char* nom;
    bool panne, epuisee;
    std::vector<Fin> attendues;
  };
  for (const Cas& c : std::vector<Cas>{
           {"panne", true, false, {Fin::sourceEnPanne}},
           {"épuisée", false, true, {Fin::sourceEpuisee}},
       }) {
    SCOPED_TRACE(c.nom);
    fins.clear();
    const auto d = creer(false);
    ASSERT_TRUE(d->demarrer());
    source->livrer(480);
    file->avancer(500ms);
    const int avant = changements;
    if (c.panne) source->enPanne = ErreurCapture{ErreurCapture::Cas::sortiePerdue, 11};
    source->fini = c.epuisee;
    file->avancer(500ms);
    file->avancer(500ms);
    EXPECT_EQ(fins, c.attendues);
    EXPECT_EQ(d->enCours(), c.attendues.empty());
    EXPECT_GT(changements, avant) << "la durée a bougé";
    EXPECT_EQ(source->relances, 0);
    if (c.panne) {
      EXPECT_EQ(source->arrets, 1);
      EXPECT_EQ(d->panne(), (ErreurCapture{ErreurCapture::Cas::sortiePerdue, 11}))
          << "lisible après la fin";
    }
    d->arreter();
  }
}

// La fin du récepteur, reçue mais pas encore passée au fil principal quand la diffusion
// s'arrête, est ignorée ; arrêter deux fois ne défait rien de plus.
TEST_F(AssemblageDiffusion, LaFinApresLArretEstIgnoree) {
  for (const bool arreter : {false, true}) {
    SCOPED_TRACE(arreter);
    fins.clear();
    const auto d = creer(true);
    ASSERT_TRUE(d->demarrer());
    file->executer();
    auto& connexion = connexions->derniere();
    connexion.jouerEtat({EtatConnexion::Cas::prete, std::nullopt});
    file->executer();
    Cle versEmetteur;
    versEmetteur.fill(2);
    ASSERT_TRUE(connexion.livrer(
        *Scelleur(versEmetteur).sceller(MessageFin::donnees, SorteEnveloppe::fin)));
    if (arreter) {
      d->arreter();
      d->arreter();
    }
    file->executer();
    EXPECT_EQ(fins, arreter ? std::vector<Fin>{} : std::vector<Fin>{Fin::parRecepteur});
    EXPECT_EQ(source->arrets, 1);
    EXPECT_FALSE(d->enCours());
  }
}

// Deux pièces parties au même bloc. Celle qui finit d'elle-même ou qu'on retire laisse
// l'autre recevoir et ne finit pas la diffusion ; retirer la dernière la finit, une fois, et
// ses compteurs restent lisibles.
TEST_F(AssemblageDiffusion, UnePieceFinitLAutreContinue) {
  using Numero = Diffusion::NumeroPiece;
  enum class Comment : std::uint8_t { finDuRecepteur, injoignable, retiree };
  struct Cas {
    const char* nom;
    Numero finie;
    Comment comment;
    std::vector<std::pair<Numero, Fin>> piecesFinies;
  };
  // Les clés de chaque pièce : vers son récepteur, vers l'émetteur.
  const std::array<std::pair<std::uint8_t, std::uint8_t>, 2> cles{{{1, 2}, {3, 4}}};
  for (const Cas& c : std::vector<Cas>{
           {"fin du récepteur de la pièce 1", 1, Comment::finDuRecepteur, {{1, Fin::parRecepteur}}},
           {"pièce 0 injoignable", 0, Comment::injoignable, {{0, Fin::injoignable}}},
           {"pièce 0 retirée", 0, Comment::retiree, {}},
       }) {
    SCOPED_TRACE(c.nom);
    fins.clear();
    connexions->creees.clear();
    connexions->etatsAuDemarrage = {{EtatConnexion::Cas::prete, std::nullopt}};
    std::vector<std::pair<Numero, Fin>> finies;
    const auto d = creer(false);
    d->quandPieceFinie([&](Numero n, Fin f) { finies.emplace_back(n, f); });
    EXPECT_EQ(d->ajouterPiece(PointReseau{"127.0.0.1", 50'001}, Liaison::nouvelle(cle(3), cle(4)),
                              "Cuisine"),
              1u);
    ASSERT_TRUE(d->demarrer());
    file->executer();
    ASSERT_EQ(connexions->creees.size(), 2u);
    const std::array connexion{connexions->creees[0], connexions->creees[1]};
    source->livrer(320);
    file->executer();
    EXPECT_EQ(paquets(*connexion[0], 1), 1u);
    EXPECT_EQ(paquets(*connexion[1], 3), 1u) << "la pièce ajoutée avant le démarrage, au même bloc";
    file->avancer(500ms);
    ASSERT_EQ(d->statistiques().pieces.size(), 2u);
    for (const Numero n : {0u, 1u}) {
      const auto& p = d->statistiques().pieces[n];
      EXPECT_EQ(p.numero, n);
      EXPECT_EQ(p.nom, n == 0 ? "Salon" : "Cuisine");
      EXPECT_EQ(p.point.port, 50'000 + n);
      EXPECT_EQ(p.voie.paquetsEnvoyes, 1);
    }

    auto& finie = *connexion[c.finie];
    switch (c.comment) {
      case Comment::finDuRecepteur: {
        // Le nom de qui prend le récepteur vient juste avant la fin, qu'il ne remplace pas.
        Scelleur recepteur(cle(cles[c.finie].second));
        ASSERT_TRUE(finie.livrer(
            *recepteur.sceller(MessageReleve{"Bureau"}.encoder(), SorteEnveloppe::fin)));
        file->executer();
        EXPECT_TRUE(finies.empty());
        ASSERT_TRUE(finie.livrer(*recepteur.sceller(MessageFin::donnees, SorteEnveloppe::fin)));
        file->executer();
        break;
      }
      case Comment::injoignable:
        finie.jouerEtat(
            {EtatConnexion::Cas::echec, ErreurReseau{DomaineErreurReseau::posix, ENETUNREACH}});
        file->avancer(31s);
        break;
      case Comment::retiree:
        d->retirerPiece(c.finie);
        file->executer();
        break;
    }
    EXPECT_EQ(finies, c.piecesFinies);
    EXPECT_TRUE(fins.empty()) << "une pièce reste";
    const auto finale = d->compteursPiece(c.finie);
    ASSERT_EQ(finale.has_value(), c.comment != Comment::retiree) << "gardés à sa fin";
    if (finale) {
      EXPECT_EQ(finale->prisPar, c.comment == Comment::finDuRecepteur
                                     ? std::optional<std::string>("Bureau")
                                     : std::nullopt);
      EXPECT_EQ(finale->paquetsEnvoyes, 1);
    }
    ASSERT_TRUE(d->enCours());
    const Numero autre = 1 - c.finie;
    for (const auto& x : connexions->creees) x->envoyes.clear();
    source->livrer(320);
    file->executer();
    EXPECT_EQ(paquets(*connexion[autre], cles[autre].first), 1u) << "l'autre pièce reçoit";
    for (const auto& x : connexions->creees) EXPECT_TRUE(x->envoyes.empty());
    file->avancer(500ms);
    const auto s = d->statistiques();
    ASSERT_EQ(s.pieces.size(), 1u);
    EXPECT_EQ(s.pieces[0].numero, autre);
    EXPECT_EQ(s.emetteur.paquetsEnvoyes, s.pieces[0].voie.paquetsEnvoyes)
        << "l'émetteur suit la pièce qui reste";

    d->retirerPiece(autre);
    file->executer();
    EXPECT_EQ(fins, std::vector<Fin>{Fin::parRecepteur});
    EXPECT_FALSE(d->enCours());
    EXPECT_TRUE(connexion[autre]->annulee);
    d->retirerPiece(autre);
    file->avancer(1s);
    EXPECT_EQ(fins.size(), 1u) << "une seule fin";
    ASSERT_EQ(d->releve().pieces.size(), 1u) << "la dernière pièce se lit après la fin";
    EXPECT_EQ(d->releve().pieces[0].voie.paquetsEnvoyes, 2);
  }
}

// Trois pièces ; le récepteur de la deuxième se tait. Elle se dit muette une fois, au relevé
// qui le voit, et de nouveau quand il reparle ; toutes reçoivent le son pendant ce temps.
TEST_F(AssemblageDiffusion, ChaquePieceDitSonSilenceEtSonRetour) {
  connexions->etatsAuDemarrage = {{EtatConnexion::Cas::prete, std::nullopt}};
  const auto d = creer(false);
  d->ajouterPiece(PointReseau{"127.0.0.1", 50'001}, Liaison::nouvelle(cle(3), cle(4)), "Cuisine");
  d->ajouterPiece(PointReseau{"127.0.0.1", 50'002}, Liaison::nouvelle(cle(5), cle(6)), "Bureau");
  std::vector<std::pair<Diffusion::NumeroPiece, bool>> silences;
  d->quandSilence([&](Diffusion::NumeroPiece n, bool muette) { silences.emplace_back(n, muette); });
  ASSERT_TRUE(d->demarrer());
  file->executer();
  ASSERT_EQ(connexions->creees.size(), 3u);
  // Chaque récepteur scelle sous sa propre clé ; une question d'horloge est un signe de vie.
  std::vector<std::unique_ptr<Scelleur>> recepteurs;
  for (const std::uint8_t c : {2, 4, 6}) recepteurs.push_back(std::make_unique<Scelleur>(cle(c)));
  const auto parle = [&](std::size_t i) {
    ASSERT_TRUE(connexions->creees[i]->livrer(
        *recepteurs[i]->sceller(MessageHorloge::question(0).encoder(), SorteEnveloppe::horloge)));
  };
  const auto demiSeconde = [&](std::initializer_list<std::size_t> parlent) {
    for (const std::size_t i : parlent) parle(i);
    source->livrer(320);
    file->avancer(500ms);
  };
  for (int demi = 0; demi < 8; ++demi) demiSeconde({0, 2});
  using Silences = std::vector<std::pair<Diffusion::NumeroPiece, bool>>;
  EXPECT_EQ(silences, (Silences{{1, true}}));
  for (const std::uint8_t c : {1, 3, 5}) EXPECT_EQ(paquets(*connexions->creees[c / 2], c), 8u);
  demiSeconde({0, 1, 2});
  EXPECT_EQ(silences, (Silences{{1, true}, {1, false}}));
  for (int demi = 0; demi < 4; ++demi) demiSeconde({0, 1, 2});
  EXPECT_EQ(silences.size(), 2u) << "une fois par changement";
  d->arreter();
}

}  // namespace
}  // namespace ravlo
