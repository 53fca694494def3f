// Le récepteur sans socket : appairage, réception scellée, trous, vitesse, codes.
#include "recepteur/recepteur.hpp"

#include <gtest/gtest.h>

#include "faux/hasard_deterministe.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {
namespace {

const PointReseau appairage{"127.0.0.1", 40000};
const PointReseau audio{"127.0.0.1", 40001};

struct Banc {
  explicit Banc(std::optional<CodeAppairage> fixe = std::nullopt)
      : recepteur(
            GuichetAppairage::Reglages{
                fixe, [this] { return *CodeAppairage::depuisSaisie(codes.at(tires++)); },
                std::make_shared<HasardDeterministe>(7)},
            lecture) {}

  /// Joue un appairage avec `code` depuis `source` ; rend la liaison de l'émetteur.
  std::optional<Liaison> appairer(const std::string& code, const PointReseau& source,
                                  std::uint64_t graine = 3) {
    AppairageInitiateur initiateur(*CodeAppairage::depuisSaisie(code), "Portable",
                                   std::make_shared<HasardDeterministe>(graine));
    std::optional<MessagePasskey> message = initiateur.dernierMessage();
    while (message) {
      const auto envois = recepteur.recevoir(message->donnees(), source, maintenant);
      message.reset();
      for (const auto& e : envois) {
        if (e.vers != source) {
          ailleurs.push_back(e);
          continue;
        }
        if (auto lu = MessagePasskey::decoder(e.donnees)) message = initiateur.recevoir(*lu);
      }
    }
    if (const auto* r = std::get_if<AppairageInitiateur::Reussi>(&initiateur.etat()))
      return r->liaison;
    return std::nullopt;
  }

  Octets paquet(Liaison& l, std::uint32_t sequence) {
    const auto p =
        PaquetAudio::creer(sequence, 1'000'000 + sequence * 6'666'667ull, Octets(1280, 0x10));
    return *l.scelleur->sceller(p->encoder(), SorteEnveloppe::audio);
  }

  std::vector<Envoi> ailleurs;  ///< envoyé à un autre que l'appairant
  // 2222 tiré deux fois : un code renouvelé n'est jamais celui qu'il remplace.
  std::vector<std::string> codes{"1111", "2222", "2222", "3333", "4444", "5555"};
  std::size_t tires = 0;
  InstantNs maintenant = 5'000'000'000;
  std::shared_ptr<LectureTiree> lecture = std::make_shared<LectureTiree>(96'000, 3840);
  Recepteur recepteur;
};

// Trous comblés jusqu'à 50 numéros, au-delà non ; retards, rejeux et falsifications refusés
// sans rien pousser.
TEST(Recepteur, CombleLesPertesEtRefuseCeQuiNeSOuvrePas) {
  Banc b;
  auto emetteur = b.appairer("1111", appairage);
  ASSERT_TRUE(emetteur);
  const auto recu = [&](const Octets& d) { return b.recepteur.recevoir(d, audio, b.maintenant); };
  const auto trames = [&] { return b.lecture->etat().disponibleTrames; };

  // 3 et 4 perdus, puis 50 : comblés de silence ; puis 51 : laissés.
  for (const auto& [s, n] : {std::pair{0u, 1}, {1u, 2}, {2u, 3}, {5u, 6}, {56u, 57}, {108u, 58}}) {
    recu(b.paquet(*emetteur, s));
    EXPECT_EQ(trames(), n * 320) << s;
  }
  EXPECT_EQ(b.recepteur.compteurs().trousCombles, 52);

  const Octets bon = b.paquet(*emetteur, 109);
  recu(bon);
  Octets falsifie = b.paquet(*emetteur, 110);
  falsifie[20] ^= 1;
  // Le rejeu, le falsifié, l'authentique en retard (le reste des forgés : essai de bout en bout).
  const std::vector<Octets> hostiles{bon, falsifie, b.paquet(*emetteur, 100)};
  const auto avant = trames();
  for (const auto& d : hostiles) EXPECT_TRUE(recu(d).empty());
  EXPECT_EQ(trames(), avant);
  const auto c = b.recepteur.compteurs();
  EXPECT_EQ(c.enveloppesRefusees, 2);
  EXPECT_EQ(c.paquetsTardifs, 1);
  EXPECT_EQ(c.paquetsPerdus, 103);
}

// Une pause (plus rien reçu) ne fait pas dériver la vitesse : la file vide n'est pas un
// écart à corriger.
TEST(Recepteur, LaPauseNEmballePasLaVitesse) {
  Banc b;
  auto emetteur = b.appairer("1111", appairage);
  ASSERT_TRUE(emetteur);
  std::vector<float> g(480), d(480);
  for (std::uint32_t s = 0; s < 20; ++s)
    b.recepteur.recevoir(b.paquet(*emetteur, s), audio, b.maintenant);
  for (int tic = 0; tic < 100; ++tic) {  // 20 s sans rien recevoir
    b.lecture->tirer(480, g, d, b.maintenant);
    b.recepteur.cadencer(b.maintenant);
    b.maintenant += 200'000'000;
  }
  EXPECT_GT(b.lecture->etat().trous, 0);
  EXPECT_LT(std::abs(b.recepteur.vitessePPM()), 100.0);
}

// Un code faux le renouvelle et le suivant réussit, qui le renouvelle aussi ; un nouvel
// appairage remplace l'expéditeur (qui reçoit la fin) seulement quand il réussit ; un code
// fixé entamé est épuisé.
TEST(Recepteur, RenouvelleLeCodeEntameEtNeRemplaceQuAuSucces) {
  Banc b;
  EXPECT_EQ(b.recepteur.code().chiffres(), "1111");
  EXPECT_FALSE(b.appairer("1110", appairage));
  EXPECT_EQ(b.recepteur.code().chiffres(), "2222");
  auto premier = b.appairer("2222", appairage, 4);
  ASSERT_TRUE(premier);
  b.recepteur.recevoir(b.paquet(*premier, 0), audio, b.maintenant);
  EXPECT_FALSE(b.appairer("2223", PointReseau{"127.0.0.1", 40002}, 5));
  EXPECT_EQ(b.recepteur.compteurs().expediteur, "127.0.0.1:40001");  // le son continue
  EXPECT_EQ(b.recepteur.code().chiffres(), "4444");
  EXPECT_TRUE(b.ailleurs.empty());
  EXPECT_TRUE(b.appairer("4444", PointReseau{"127.0.0.1", 40002}, 6));
  ASSERT_EQ(b.ailleurs.size(), 1u);  // l'ancien expéditeur apprend la fin
  EXPECT_EQ(b.ailleurs[0].vers, audio);
  EXPECT_EQ(premier->ouvreur->ouvrir(b.ailleurs[0].donnees)->sorte, SorteEnveloppe::fin);
  EXPECT_EQ(b.recepteur.compteurs().expediteur, "127.0.0.1:40002");

  Banc fixe(CodeAppairage::depuisSaisie("4321"));
  EXPECT_FALSE(fixe.appairer("4320", appairage));
  EXPECT_TRUE(fixe.recepteur.codeEpuise());
  EXPECT_FALSE(fixe.appairer("4321", appairage, 8));
}

}  // namespace
}  // namespace ravlo
