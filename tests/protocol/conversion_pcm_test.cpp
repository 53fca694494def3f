#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "protocol/conversion_pcm.hpp"
#include "protocol/niveau_audio.hpp"

namespace ravlo {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

TEST(ConversionPCM, ValeursLimites) {
  const std::vector<float> x{1.5f,
                             1.0f,
                             0.5f,
                             -0.5f,
                             -1.0f,
                             -1.5f,
                             nan,
                             inf,
                             -inf,
                             -0.0f,
                             std::nextafter(-1.0f, 0.0f),
                             std::numeric_limits<float>::denorm_min()};
  const std::vector<std::int16_t> attendu{32767, 32767, 16383, -16383, -32767, -32767,
                                          0,     0,     0,     0,      -32766, 0};
  std::vector<std::int16_t> sortie(2 * x.size());
  ASSERT_EQ(ConversionPCM::entrelacer(x, x, 1, x.size(), sortie), x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    EXPECT_EQ(sortie[2 * i], attendu[i]) << "entrée " << x[i];
    EXPECT_EQ(sortie[2 * i + 1], attendu[i]) << "entrée " << x[i];
  }
}

TEST(ConversionPCM, LaDestinationEtLesSourcesBornentLesTrames) {
  const std::vector<float> x(20, 0.25f);
  std::vector<std::int16_t> cinq(5, -1);
  EXPECT_EQ(ConversionPCM::entrelacer(x, x, 1, 10, cinq), 2u);
  EXPECT_EQ(cinq[4], -1) << "la demi-trame restante n'est pas écrite";
  std::vector<std::int16_t> grand(100);
  EXPECT_EQ(ConversionPCM::entrelacer(x, x, 3, 50, grand), 7u) << "indices 0, 3, …, 18";
  EXPECT_EQ(ConversionPCM::entrelacer({}, x, 1, 5, grand), 0u);
}

// Les chemins vectoriels (flux entrelacé, voies séparées) rendent exactement ce que rend
// l'échantillon converti un à un, y compris sur les restes de moins de huit trames.
TEST(ConversionPCM, CheminsVectorielsEgauxALaBoucleSimple) {
  std::mt19937 alea(42);
  std::uniform_real_distribution<float> d(-1.2f, 1.2f);
  const std::vector<float> speciaux{nan, inf, -inf, 1.0f, -1.0f, 0.0f, -0.0f, 1e-30f};
  for (std::size_t trames : {0u, 1u, 7u, 8u, 9u, 64u, 333u}) {
    std::vector<float> entrelace(2 * trames);
    for (std::size_t i = 0; i < entrelace.size(); ++i) {
      entrelace[i] = i % 11 == 0 ? speciaux[i % speciaux.size()] : d(alea);
    }
    std::vector<float> gauche(trames), droite(trames);
    for (std::size_t i = 0; i < trames; ++i) {
      gauche[i] = entrelace[2 * i];
      droite[i] = entrelace[2 * i + 1];
    }
    std::vector<std::int16_t> reference(2 * trames);
    for (std::size_t i = 0; i < reference.size(); ++i) {
      reference[i] = ConversionPCM::versEntier(entrelace[i]);
    }
    std::vector<std::int16_t> a(2 * trames), b(2 * trames);
    const std::span<const float> flux(entrelace);
    ASSERT_EQ(ConversionPCM::entrelacer(flux, flux.subspan(trames ? 1 : 0), 2, trames, a), trames);
    ASSERT_EQ(ConversionPCM::entrelacer(gauche, droite, 1, trames, b), trames);
    EXPECT_EQ(a, reference) << trames << " trames, flux entrelacé";
    EXPECT_EQ(b, reference) << trames << " trames, voies séparées";

    // Retour en flottants : vectoriel (mémoires séparées) contre boucle simple.
    std::vector<float> g(trames), dr(trames);
    ConversionPCM::desentrelacer(reference, trames, g, dr);
    for (std::size_t i = 0; i < trames; ++i) {
      ASSERT_EQ(g[i], static_cast<float>(reference[2 * i]) / 32767.0f);
      ASSERT_EQ(dr[i], static_cast<float>(reference[2 * i + 1]) / 32767.0f);
    }
  }
}

TEST(ConversionPCM, RetourEnFlottants) {
  const std::vector<std::int16_t> pcm{32767, -32768, 0, 16384};
  std::vector<float> g(2), d(2);
  EXPECT_EQ(ConversionPCM::desentrelacer(pcm, 2, g, d), 2u);
  EXPECT_EQ(g[0], 1.0f);
  EXPECT_LT(d[0], -1.0f);
  EXPECT_GT(d[0], -1.0001f);
  EXPECT_EQ(g[1], 0.0f);
  EXPECT_EQ(ConversionPCM::desentrelacer(pcm, 0, g, d), 0u);
}

TEST(NiveauAudio, CreteMoyenneEtDiagnostic) {
  auto niveauDe = [](std::vector<float> x) {
    AnalyseNiveau a;
    a.ajouter(x);
    return a.niveau();
  };
  EXPECT_EQ(AnalyseNiveau{}.niveau(), (NiveauAudio{-120.0, -120.0}));
  const NiveauAudio zeros = niveauDe(std::vector<float>(64, 0.0f));
  EXPECT_EQ(zeros, (NiveauAudio{-120.0, -120.0}));
  EXPECT_EQ(zeros.diagnostic(), DiagnosticNiveau::silence);

  const NiveauAudio plein = niveauDe({0.2f, -1.0f, 0.3f});
  EXPECT_EQ(plein.cretedBFS, 0.0);
  EXPECT_EQ(plein.diagnostic(), DiagnosticNiveau::saturation);
  const NiveauAudio moitie = niveauDe({0.5f, -0.25f});
  EXPECT_NEAR(moitie.cretedBFS, -6.0206, 1e-4);
  EXPECT_EQ(moitie.diagnostic(), DiagnosticNiveau::exploitable);
  const NiveauAudio faible = niveauDe({0.001f});
  EXPECT_NEAR(faible.cretedBFS, -60.0, 1e-4);
  // 0,001 en flottant 32 bits vaut un rien plus (−59,9999996 dBFS) : le seuil de silence,
  // ≤ −60, se vérifie donc sur la valeur exacte.
  EXPECT_EQ((NiveauAudio{-60.0, -70.0}).diagnostic(), DiagnosticNiveau::silence);
  EXPECT_EQ((NiveauAudio{-0.1, -3.0}).diagnostic(), DiagnosticNiveau::saturation);
  EXPECT_EQ((NiveauAudio{-0.11, -3.0}).diagnostic(), DiagnosticNiveau::exploitable);

  std::vector<float> carre(480);
  for (std::size_t i = 0; i < carre.size(); ++i) carre[i] = i % 2 ? 1.0f : -1.0f;
  EXPECT_EQ(niveauDe(carre).moyennedBFS, 0.0);
  // Les blocs s'accumulent : deux ajouts valent un seul.
  AnalyseNiveau deux;
  deux.ajouter(std::vector<float>{0.5f});
  deux.ajouter(std::vector<float>{-0.25f});
  EXPECT_EQ(deux.niveau(), moitie);
  // Très faible mais non nul : jamais sous le plancher.
  EXPECT_EQ(niveauDe({1e-9f}).cretedBFS, -120.0);
}

}  // namespace
}  // namespace ravlo
