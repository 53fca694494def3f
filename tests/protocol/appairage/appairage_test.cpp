// SPDX-License-Identifier: MPL-2.0
#include <sodium.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "faux/hasard_deterministe.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/appairage/code_appairage.hpp"
#include "protocol/appairage/message_passkey.hpp"
#include "protocol/appairage/passkey.hpp"

namespace ravlo {
namespace {

Octets depuisHex(std::string_view hex) {
  Octets o(hex.size() / 2);
  sodium_hex2bin(o.data(), o.size(), hex.data(), hex.size(), nullptr, nullptr, nullptr);
  return o;
}

std::string enHex(VueOctets o) {
  std::string hex(2 * o.size() + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), o.data(), o.size());
  hex.pop_back();
  return hex;
}

/// Joue l'échange jusqu'à ce qu'un côté se taise, chaque message relu depuis le fil ; rend
/// les datagrammes dans l'ordre.
std::vector<Octets> jouerEchange(AppairageInitiateur& initiateur, AppairageRepondeur& repondeur) {
  std::vector<Octets> fil;
  auto parLeFil = [&](const MessagePasskey& m) {
    fil.push_back(m.donnees());
    return MessagePasskey::decoder(fil.back()).value();
  };
  for (auto versR = std::optional(initiateur.dernierMessage()); versR && fil.size() < 100;) {
    const auto versI = repondeur.recevoir(parLeFil(*versR));
    if (!versI) break;
    versR = initiateur.recevoir(parLeFil(*versI));
  }
  return fil;
}

// Initiateur et répondeur l'un contre l'autre, chaque message passant par le fil. Les
// invariants sous messages hostiles sont l'affaire des cibles de fuzzing ; ici, les règles.
using I = AppairageInitiateur;
using R = AppairageRepondeur;

CodeAppairage codeDe(int valeur) {
  return *CodeAppairage::depuisSaisie(std::to_string(10000 + valeur).substr(1));
}

// Transcript doré : graines 1 (initiateur) et 2 (répondeur), code 2024, « Poste de Léa »
// (l'espace sans chasse tombe avant l'envoi). Tout changement de disposition, d'ordre des
// tirages ou de dérivation des clés le casse : c'est la garde de la compatibilité sur le fil.
// Puis les clés : K0 de l'ordinateur vers le récepteur, K1 en retour, jamais la même.
TEST(Appairage, TranscriptDoreEtClesCroisees) {
  I initiateur(codeDe(2024), "Poste de Léa\u200d", std::make_shared<HasardDeterministe>(1));
  R repondeur(codeDe(2024), std::make_shared<HasardDeterministe>(2));
  const std::vector<Octets> fil = jouerEchange(initiateur, repondeur);
  std::ostringstream obtenu;
  for (std::size_t i = 0; i < fil.size(); ++i)
    obtenu << (i % 2 == 0 ? "I " : "R ") << enHex(fil[i]) << "\n";
  const std::filesystem::path chemin = RAVLO_TRANSCRIPT_APPAIRAGE;
  std::ifstream fichier(chemin);
  ASSERT_TRUE(fichier) << chemin;
  std::ostringstream attendu;
  for (std::string ligne; std::getline(fichier, ligne);) {
    if (!ligne.empty() && ligne[0] != '#') attendu << ligne << "\n";
  }
  EXPECT_EQ(obtenu.str(), attendu.str()) << "transcript obtenu :\n" << obtenu.str();

  ASSERT_TRUE(std::holds_alternative<I::Reussi>(initiateur.etat()));
  ASSERT_TRUE(std::holds_alternative<R::Reussi>(repondeur.etat()));
  const Liaison ordi = std::get<I::Reussi>(initiateur.etat()).liaison;
  const auto& recepteur = std::get<R::Reussi>(repondeur.etat());
  EXPECT_EQ(recepteur.nomOrdinateur, "Poste de Léa");
  const auto aller = ordi.scelleur->sceller(Octets{1, 2, 3}, SorteEnveloppe::audio);
  const auto retour = recepteur.liaison.scelleur->sceller(Octets{4}, SorteEnveloppe::horloge);
  ASSERT_TRUE(aller && retour);
  EXPECT_EQ(recepteur.liaison.ouvreur->ouvrir(*aller)->contenu, (Octets{1, 2, 3}));
  EXPECT_EQ(ordi.ouvreur->ouvrir(*retour)->contenu, (Octets{4}));
  EXPECT_FALSE(ordi.ouvreur->ouvrir(*ordi.scelleur->sceller(Octets{5}, SorteEnveloppe::audio)));
}

// Codes qui ne diffèrent que du bit r : le répondeur refuse le dévoilement du rang r, après
// 4 + 4r messages, et l'initiateur, qui avait dévoilé, tient son code pour entamé.
TEST(Appairage, CodeFauxRefuseAuPremierBitFaux) {
  for (int r = 0; r < static_cast<int>(nombreDeRangs); ++r) {
    I initiateur(codeDe(0), "Poste", std::make_shared<HasardDeterministe>(10 + r));
    R repondeur(codeDe(1 << r), std::make_shared<HasardDeterministe>(30 + r));
    const std::vector<Octets> fil = jouerEchange(initiateur, repondeur);
    ASSERT_EQ(fil.size(), 6u + 4u * r) << "rang " << r;
    EXPECT_EQ(repondeur.etat(), R::Etat{R::Echoue{true}}) << "rang " << r;
    EXPECT_EQ(initiateur.etat(), I::Etat{I::Echoue{true}}) << "rang " << r;
  }
}

// Les deux côtés du même code, avancés de `pas` allers-retours avant le message essayé.
struct Banc {
  I initiateur{codeDe(42), "Poste", std::make_shared<HasardDeterministe>(1)};
  R repondeur{codeDe(42), std::make_shared<HasardDeterministe>(2)};
  explicit Banc(int pas) {
    for (int i = 0; i < pas; ++i)
      (void)initiateur.recevoir(*repondeur.recevoir(initiateur.dernierMessage()));
  }
};

// Tirages déterministes : la tentative et la clé de l'initiateur sont les mêmes à chaque banc.
std::uint64_t tentative() {
  return Banc(0).initiateur.dernierMessage().tentative();
}

// Un message hors d'ordre ou d'une autre tentative est ignoré ; une clé, un dévoilement ou
// une confirmation faux reçoivent un refus ; l'un et l'autre se répètent à l'identique (les
// doubles d'un échange honnête : fuzz_appairage_*).
template <typename Automate>
void verifierRefus(Automate Banc::* cote, int pas, const MessagePasskey& m, bool refuse,
                   const typename Automate::Etat& etat) {
  Banc b(pas);
  const auto attendu = refuse ? std::optional(MessagePasskey::refus(tentative())) : std::nullopt;
  EXPECT_EQ((b.*cote).recevoir(m), attendu) << pas << " " << enHex(m.donnees());
  EXPECT_EQ((b.*cote).recevoir(m), attendu) << "répété";
  EXPECT_EQ((b.*cote).etat(), etat) << pas << " " << enHex(m.donnees());
}

TEST(Appairage, RefusDeLInitiateurEtDuRepondeur) {
  using M = MessagePasskey;
  const std::uint64_t t = tentative();
  const Octets cleI = Banc(0).initiateur.dernierMessage().comme<M::Debut>()->cle;
  const std::tuple<int, M, bool, I::Etat> cas[] = {
      {5, M::engagement(t, 3, Octets(32)), false, I::EnCours{}},
      {5, M::devoilement(t, 2, Octets(16)), false, I::EnCours{}},
      {0, M::cle(t + 1, Octets(32, 9)), false, I::EnCours{}},
      {0, M::cle(t, cleI), true, I::Echoue{false}},
      {0, M::cle(t, Octets(32, 0)), true, I::Echoue{false}},
      {2, M::devoilement(t, 0, Octets(16, 1)), true, I::Echoue{true}},
      {29, M::confirmation(t, Octets(32, 1)), true, I::Echoue{true}},
      {1, M::refus(t), false, I::Echoue{false}},
      {2, M::refus(t), false, I::Echoue{true}}};
  for (const auto& [pas, m, refuse, etat] : cas)
    verifierRefus(&Banc::initiateur, pas, m, refuse, etat);
  const M autreDebut =
      I(codeDe(42), "Autre", std::make_shared<HasardDeterministe>(9)).dernierMessage();
  const std::tuple<int, M, bool, R::Etat> casR[] = {
      {0, M::cle(t, Octets(32, 1)), false, R::Attente{}},
      {0, M::debut(t, Octets(32, 0), "Poste"), true, R::Echoue{false}},
      {1, autreDebut, false, R::EnCours{}},
      {1, M::engagement(t, 1, Octets(32)), false, R::EnCours{}},
      {1, M::engagement(t + 1, 0, Octets(32)), false, R::EnCours{}},
      {2, M::devoilement(t, 0, Octets(16, 1)), true, R::Echoue{true}},
      {29, M::confirmation(t, Octets(32, 1)), true, R::Echoue{true}},
      {1, M::refus(t), false, R::Echoue{false}},
      {2, M::refus(t), false, R::Echoue{true}}};
  for (const auto& [pas, m, refuse, etat] : casR)
    verifierRefus(&Banc::repondeur, pas, m, refuse, etat);
}

// HKDF et HMAC : le transcript doré, recalculé à part avec les bibliothèques standard, les
// garde (clés de 16 et 32 octets, sortie de trois blocs). L'accord X25519 aussi ; ici, les clés
// publiques qu'il doit refuser : renvoyée (même avec le bit 255 levé), mauvaise longueur,
// point d'ordre faible.
TEST(SecretPartage, ClesRefusees) {
  const ClePriveeX25519 moi(Octets(32, 3));
  Octets renvoyee = moi.publique();
  renvoyee[31] |= 0x80;
  Octets longue = ClePriveeX25519(Octets(32, 4)).publique();
  longue.push_back(0);
  for (const Octets& cle :
       {moi.publique(), renvoyee, longue, Octets(longue.begin(), longue.begin() + 31), Octets{},
        Octets(32, 0),
        depuisHex("0100000000000000000000000000000000000000000000000000000000000000"),
        depuisHex("e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800"),
        depuisHex("ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f")}) {
    EXPECT_FALSE(secretPartage(moi, cle)) << enHex(cle);
  }
  EXPECT_TRUE(secretPartage(moi, Octets(longue.begin(), longue.begin() + 32)));
}

// La forme sur le fil est gardée par le transcript doré ; longueurs et troncatures par le
// fuzzing (tout message accepté se réencode exactement en ses octets). Ici, les valeurs
// que le décodeur doit refuser.
TEST(MessagePasskey, Refuses) {
  using M = MessagePasskey;
  constexpr std::uint64_t t = 0x0123456789abcdef;
  // Un début dont le nom est `nom`, et un message dont l'octet `i` devient `v`.
  const auto nomme = [](const Octets& nom) {
    Octets m = M::debut(t, Octets(32, 1), "").donnees();
    m[44] = static_cast<std::uint8_t>(nom.size());
    m.insert(m.end(), nom.begin(), nom.end());
    return m;
  };
  const auto avec = [](Octets d, std::size_t i, std::uint8_t v) {
    d[i] = v;
    return d;
  };
  for (const Octets& d :
       {avec(M::engagement(t, 13, Octets(32)).donnees(), 12, 14),
        avec(M::devoilement(t, 13, Octets(16)).donnees(), 12, 0xff),
        M::debut(t, Octets(32, 1), std::string(129, 'n')).donnees(), nomme({0xc3}),
        nomme({0xc0, 0x80}), nomme({0xed, 0xa0, 0x80}), nomme({0xff, 'a'})}) {
    EXPECT_EQ(M::decoder(d), std::unexpected(ErreurPasskey::formatInvalide)) << enHex(d);
  }
}

// Espaces Unicode (Zs) et tabulations rognés ; fins de ligne, espaces sans chasse, autres
// chiffres, marques combinantes et octets mal formés refusés.
TEST(CodeAppairage, Saisie) {
  EXPECT_EQ(CodeAppairage::depuisSaisie(" 0042 ")->chiffres(), "0042");
  EXPECT_EQ(CodeAppairage::depuisSaisie("\u00a0\t\u30001234\u2003")->chiffres(), "1234");
  for (const char* saisie :
       {"42", "12a4", "12345", "    ", "\u0660\u0660\u0664\u0662", "\uff11\uff12\uff13\uff14",
        "1234\n", "\u00851234", "\u200b1234", "12 34", "1234\u0301", "1234\xc3", "+123"}) {
    EXPECT_EQ(CodeAppairage::depuisSaisie(saisie), std::nullopt) << saisie;
  }
}

}  // namespace
}  // namespace ravlo
