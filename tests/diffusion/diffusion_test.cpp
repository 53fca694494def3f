// L'assemblage d'une diffusion face à une source jouée par le test : démarrage refusé, fins
// par la source, fin du récepteur après l'arrêt.
#include "link/diffusion/diffusion.hpp"

#include <gtest/gtest.h>

#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "protocol/messages/message_fin.hpp"

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

  std::shared_ptr<Diffusion> creer(bool relancer, std::optional<ErreurCapture> refus = {}) {
    Cle versRecepteur, versEmetteur;
    versRecepteur.fill(1);
    versEmetteur.fill(2);
    auto d = Diffusion::creer(
        {file.get(), file, connexions, &horloge, relancer},
        [&](std::shared_ptr<TamponAudio> t) {
          auto s = std::make_unique<SourceJouee>(std::move(t));
          s->refus = refus;
          source = s.get();
          return s;
        },
        PointReseau{"127.0.0.1", 50'000}, Liaison::nouvelle(versRecepteur, versEmetteur));
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

}  // namespace
}  // namespace ravlo
