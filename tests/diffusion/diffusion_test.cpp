// SPDX-License-Identifier: MPL-2.0
// L'assemblage d'une diffusion face à une source jouée par le test : démarrage refusé, fins
// par la source, fin du récepteur après l'arrêt, pièces qui finissent ou se taisent.
#include "link/diffusion/diffusion.hpp"

#include <gtest/gtest.h>

#include "diffusion/recepteur_en_face.hpp"
#include "faux/file_manuelle.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Fin = Diffusion::Fin;
using Numero = Diffusion::NumeroPiece;
using essai::EnFace;

// Une source dont le test règle tout ; elle écrit dans l'anneau ce qu'on lui dit de livrer.
struct SourceJouee final : SourceDiffusion {
  explicit SourceJouee(std::shared_ptr<TamponAudio> t) : tampon(std::move(t)) {}
  std::expected<void, ErreurCapture> demarrer() override {
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
    tampon->ecrire(Octets(static_cast<std::size_t>(n) * flux::octetsParTrame, 0), std::nullopt);
    livrees += n;
  }

  std::shared_ptr<TamponAudio> tampon;
  std::optional<ErreurCapture> refus, enPanne;
  bool fini = false;
  int arrets = 0, relances = 0;
  std::int64_t livrees = 0;
};

struct AssemblageDiffusion : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueFactice> connexions = std::make_shared<faux::FabriqueFactice>();
  EnFace recepteurs[3]{EnFace{0}, EnFace{1}, EnFace{2}};
  SourceJouee* source = nullptr;
  std::vector<Fin> fins;
  int changements = 0;

  // La pièce 0, « Salon », et `autres` pièces de plus (« Cuisine », « Bureau »), toutes prêtes
  // à leur démarrage.
  std::shared_ptr<Diffusion> creer(bool relancer, std::optional<ErreurCapture> refus = {},
                                   std::size_t autres = 0) {
    connexions->creees.clear();
    connexions->points.clear();
    connexions->etatsAuDemarrage = {{EtatConnexion::Cas::prete, std::nullopt}};
    auto d = Diffusion::creer(
        {file.get(), file, connexions, &horloge, relancer},
        [&](std::shared_ptr<TamponAudio> t) {
          auto s = std::make_unique<SourceJouee>(std::move(t));
          s->refus = refus;
          source = s.get();
          return s;
        },
        PointReseau{"127.0.0.1", 50'000}, recepteurs[0].liaison, "Salon");
    for (std::size_t i = 1; i <= autres; ++i) {
      EXPECT_EQ(d->ajouterPiece(PointReseau{"127.0.0.1", static_cast<std::uint16_t>(50'000 + i)},
                                recepteurs[i].liaison, i == 1 ? "Cuisine" : "Bureau"),
                i);
    }
    fins.clear();
    d->quandFin([this](Fin f) { fins.push_back(f); });
    d->quandChange([this] { ++changements; });
    return d;
  }
  std::size_t paquets(std::size_t i) {
    return recepteurs[i].recus(*connexions->creees.at(i), SorteEnveloppe::audio).size();
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
  EXPECT_FALSE(d->compteursPiece(0));
  file->avancer(3s);
  EXPECT_TRUE(fins.empty());
}

// Sans relance, la panne de la source finit la diffusion, une seule fois, et le dernier
// relevé se voit avant ; une source épuisée la finit aussi, l'anneau vidé.
TEST_F(AssemblageDiffusion, LaSourceFinitLaDiffusion) {
  for (const bool panne : {true, false}) {
    SCOPED_TRACE(panne);
    const auto d = creer(false);
    ASSERT_TRUE(d->demarrer());
    source->livrer(480);
    file->avancer(500ms);
    const int avant = changements;
    if (panne) source->enPanne = ErreurCapture{ErreurCapture::Cas::sortiePerdue, 11};
    source->fini = !panne;
    file->avancer(1s);
    EXPECT_EQ(fins, std::vector<Fin>{panne ? Fin::sourceEnPanne : Fin::sourceEpuisee});
    EXPECT_FALSE(d->enCours());
    EXPECT_GT(changements, avant) << "la durée a bougé";
    EXPECT_EQ(source->relances, 0);
    EXPECT_EQ(source->arrets, 1);
    if (panne) {
      EXPECT_EQ(d->panne(), (ErreurCapture{ErreurCapture::Cas::sortiePerdue, 11}))
          << "lisible après la fin";
    }
  }
}

// La fin du récepteur, reçue mais pas encore passée au fil principal quand la diffusion
// s'arrête, est ignorée ; arrêter deux fois ne défait rien de plus.
TEST_F(AssemblageDiffusion, LaFinApresLArretEstIgnoree) {
  for (const bool arreter : {false, true}) {
    SCOPED_TRACE(arreter);
    const auto d = creer(true);
    ASSERT_TRUE(d->demarrer());
    file->executer();
    ASSERT_TRUE(
        recepteurs[0].dire(connexions->derniere(), MessageFin::donnees, SorteEnveloppe::fin));
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
  enum class Comment : std::uint8_t { finDuRecepteur, injoignable, retiree };
  struct Cas {
    Numero finie;
    Comment comment;
    std::vector<std::pair<Numero, Fin>> piecesFinies;
  };
  for (const Cas& c : std::vector<Cas>{{1, Comment::finDuRecepteur, {{1, Fin::parRecepteur}}},
                                       {0, Comment::injoignable, {{0, Fin::injoignable}}},
                                       {0, Comment::retiree, {}}}) {
    SCOPED_TRACE(static_cast<int>(c.comment));
    std::vector<std::pair<Numero, Fin>> finies;
    std::vector<std::pair<Numero, bool>> silences;
    const auto d = creer(false, {}, 1);
    d->quandPieceFinie([&](Numero n, Fin f) { finies.emplace_back(n, f); });
    d->quandSilence([&](Numero n, bool muette) { silences.emplace_back(n, muette); });
    ASSERT_TRUE(d->demarrer());
    file->executer();
    ASSERT_EQ(connexions->creees.size(), 2u);
    source->livrer(320);
    file->executer();
    EXPECT_EQ(paquets(0), 1u);
    EXPECT_EQ(paquets(1), 1u) << "la pièce ajoutée avant le démarrage, au même bloc";
    file->avancer(500ms);
    const auto& s = d->statistiques();
    ASSERT_EQ(s.pieces.size(), 2u);
    for (const Numero n : {0u, 1u}) {
      EXPECT_EQ(s.pieces[n].numero, n);
      EXPECT_EQ(s.pieces[n].nom, n == 0 ? "Salon" : "Cuisine");
      EXPECT_EQ(s.pieces[n].point.port, 50'000 + n);
      EXPECT_EQ(s.pieces[n].voie.paquetsEnvoyes, 1);
    }

    auto& finie = *connexions->creees[c.finie];
    switch (c.comment) {
      case Comment::finDuRecepteur:
        // Le nom de qui prend le récepteur vient juste avant la fin, qu'il ne remplace pas.
        ASSERT_TRUE(recepteurs[c.finie].dire(finie, MessageReleve{"Bureau"}.encoder(),
                                             SorteEnveloppe::fin));
        file->executer();
        EXPECT_TRUE(finies.empty());
        ASSERT_TRUE(recepteurs[c.finie].dire(finie, MessageFin::donnees, SorteEnveloppe::fin));
        file->executer();
        break;
      case Comment::injoignable:
        finie.jouerEtat(
            {EtatConnexion::Cas::echec, ErreurReseau{DomaineErreurReseau::posix, ENETUNREACH}});
        file->avancer(31s);
        // Aucun récepteur ne parle : chaque pièce se dit muette, une seule fois en 60 relevés.
        EXPECT_EQ(silences, (std::vector<std::pair<Numero, bool>>{{0, true}, {1, true}}));
        break;
      case Comment::retiree:
        d->retirerPiece(c.finie);
        file->executer();
        break;
    }
    EXPECT_EQ(finies, c.piecesFinies);
    for (std::size_t i = 2; i < connexions->points.size(); ++i)
      EXPECT_EQ(connexions->points[i].port, 50'000 + c.finie) << "seule la pièce en panne refait";
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
    EXPECT_EQ(paquets(autre), 1u) << "l'autre pièce reçoit";
    for (const auto& x : connexions->creees) EXPECT_TRUE(x->envoyes.empty());
    file->avancer(500ms);
    ASSERT_EQ(d->statistiques().pieces.size(), 1u);
    EXPECT_EQ(d->statistiques().pieces[0].numero, autre);

    d->retirerPiece(autre);
    file->executer();
    EXPECT_EQ(fins, std::vector<Fin>{Fin::parRecepteur});
    EXPECT_FALSE(d->enCours());
    EXPECT_TRUE(connexions->creees[autre]->annulee);
    d->retirerPiece(autre);
    EXPECT_EQ(d->ajouterPiece(PointReseau{"127.0.0.1", 50'009}, recepteurs[2].liaison, "Cave"), 2u);
    file->avancer(1s);
    EXPECT_EQ(fins.size(), 1u) << "une seule fin";
    ASSERT_EQ(d->releve().pieces.size(), 1u) << "la dernière seule, lisible après la fin";
    EXPECT_EQ(d->releve().pieces[0].voie.paquetsEnvoyes, 2);
  }
}

// Un point se montre comme on le retape : une adresse IPv6 entre crochets, son port après.
TEST(PointReseau, EnTexteMetLesAdressesIPv6EntreCrochets) {
  for (const auto& [adresse, attendu] : std::vector<std::pair<std::string, std::string>>{
           {"192.168.1.20", "192.168.1.20:47311"},
           {"::1", "[::1]:47311"},
           {"fe80::1%eth0", "[fe80::1%eth0]:47311"},
           {"::ffff:192.168.1.20", "[::ffff:192.168.1.20]:47311"},
           {"salon.local", "salon.local:47311"}})
    EXPECT_EQ(enTexte(PointReseau{adresse, 47311}), attendu);
}

}  // namespace
}  // namespace ravlo
