// SPDX-License-Identifier: MPL-2.0
#include <sodium.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "protocol/audio/fichier_wav.hpp"
#include "protocol/base/lecteur_octets.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/etat_carte.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_groupe.hpp"
#include "protocol/messages/message_horloge.hpp"
#include "protocol/messages/message_releve.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/scellement/ouvreur.hpp"
#include "protocol/scellement/scelleur.hpp"

namespace ravlo {
namespace {

// Rejeux, falsifications et fenêtre sous entrées hostiles : fuzz_ouvreur.
const Cle cle{1, 8, 15, 22, 29, 36, 43, 50, 57, 64, 71, 78, 85, 92, 99, 106};

// Scelle avec libsodium seul, à un compteur et un en-tête choisis.
Octets scellerBrut(std::uint64_t k, const Octets& contenu, std::uint8_t version = 2,
                   std::uint8_t sorte = 0) {
  auto entete = Enveloppe::entete(SorteEnveloppe::audio, k);
  entete[2] = version;
  entete[3] = sorte;
  std::uint8_t nonce[12] = {};
  for (int i = 0; i < 8; ++i) nonce[4 + i] = static_cast<std::uint8_t>(k >> (8 * i));
  Octets sortie(entete.begin(), entete.end());
  sortie.resize(12 + contenu.size() + 16);
  unsigned long long n = 0;
  crypto_aead_chacha20poly1305_ietf_encrypt(sortie.data() + 12, &n, contenu.data(), contenu.size(),
                                            entete.data(), 12, nullptr, nonce, cle.data());
  return sortie;
}

// Forme de libsodium depuis le compteur 0, 28 octets au moins ; en-tête authentique mais
// hors format refusé ; âge 63 encore admis, 64 trop vieux même jamais vu ; compteur épuisé
// après 2⁶⁴ − 1.
TEST(Enveloppe, FormeEnTeteFenetreEtEpuisement) {
  Scelleur scelleur(cle);
  Ouvreur ouvreur(cle);
  const auto scelle = scelleur.sceller(Octets{1, 2, 3}, SorteEnveloppe::audio);
  EXPECT_EQ(*scelle, scellerBrut(0, Octets{1, 2, 3}));
  EXPECT_EQ(ouvreur.ouvrir(*scelle), (Ouvert{SorteEnveloppe::audio, Octets{1, 2, 3}, true}));
  EXPECT_EQ(ouvreur.ouvrir(VueOctets(*scelleur.sceller({}, SorteEnveloppe::fin)).first(27)),
            std::nullopt);
  for (auto [version, sorte] : {std::pair{1, 0}, {3, 0}, {2, 3}, {2, 255}}) {
    EXPECT_EQ(ouvreur.ouvrir(scellerBrut(9, {}, static_cast<std::uint8_t>(version),
                                         static_cast<std::uint8_t>(sorte))),
              std::nullopt)
        << version << "/" << sorte;
  }
  ASSERT_TRUE(ouvreur.ouvrir(scellerBrut(100, {})));
  EXPECT_TRUE(ouvreur.ouvrir(scellerBrut(37, {})).has_value());
  EXPECT_EQ(ouvreur.ouvrir(scellerBrut(36, {})), std::nullopt);
  Scelleur dernier(cle, UINT64_MAX);
  EXPECT_TRUE(dernier.sceller({}, SorteEnveloppe::fin).has_value());
  EXPECT_EQ(dernier.sceller({}, SorteEnveloppe::fin),
            std::unexpected(ErreurEnveloppe::compteurEpuise));
}

// Plusieurs fils scellent : compteurs tous distincts (le chiffrement se fait hors du verrou).
// L'ouvreur, lui, travaille tout entier sous son verrou, vérifié à la compilation.
TEST(ConcurrenceEnveloppe, CompteursDistincts) {
  Scelleur scelleur(cle);
  std::vector<Octets> tous(800);
  {
    std::vector<std::jthread> fils;
    for (std::size_t f = 0; f < 4; ++f)
      fils.emplace_back([&, f] {
        for (std::size_t i = f; i < tous.size(); i += 4)
          tous[i] = *scelleur.sceller(Octets{1}, SorteEnveloppe::audio);
      });
  }
  auto compteur = [](const Octets& e) { return lirePetitBoutiste<std::uint64_t>(e.data() + 4); };
  std::ranges::sort(tous, {}, compteur);
  for (std::size_t i = 0; i < tous.size(); ++i) ASSERT_EQ(compteur(tous[i]), i);
}

// Formes sur le fil et ordre des refus des petits messages ; l'aller-retour de chacun sous
// octets quelconques est l'affaire des cibles de fuzzing. Paquet audio : à la lecture, longueur,
// puis signature, puis version, puis PCM (entier en trames, au plus 320).
TEST(PaquetAudio, FormeEtPremiereRegleRompue) {
  using enum CasErreurPaquet;
  const Octets entete{'R', 'V', 1, 0xEE, 2, 1, 0, 0, 9, 8, 7, 6, 5, 4, 3, 2};
  auto avec = [&](std::size_t taille, std::size_t i = 0, std::uint8_t o = 'R') {
    Octets d = entete;
    d.resize(taille, 7);
    d[i] = o;
    return PaquetAudio::lire(d);
  };
  for (const auto& [lu, attendu] : {std::pair{avec(15), ErreurPaquet{tropCourt, 0}},
                                    {avec(17, 1, 'W'), {signatureInvalide, 0}},
                                    {avec(17, 2, 2), {versionInconnue, 2}},
                                    {avec(16), {tailleAudioInvalide, 0}},
                                    {avec(16 + 1284), {tropDeTrames, 0}}}) {
    EXPECT_EQ(lu.error(), attendu);
  }
  EXPECT_EQ(avec(20).value().sequence(), 258u) << "l'octet réservé n'est pas examiné";
  EXPECT_EQ(PaquetAudio::creer(0, 0, Octets(1284)).error(), (ErreurPaquet{tropDeTrames, 0}));
  EXPECT_EQ(Octets(PaquetAudio::creer(258, 0x0102030405060708, Octets(4))->encoder()),
            (Octets{'R', 'V', 1, 0, 2, 1, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0}));
}

// Le canal d'horloge porte la question et la réponse, puis les deux sortes des messages de
// groupe, que le même lecteur rend ; au-delà de 3, la sorte est inconnue. Signature, puis
// version, puis sorte ; le champ réservé n'est pas lu. Les champs relus des messages de groupe :
// Banc.LaLatenceDuGroupeSuitLePlusGrandBesoinAdmis, qui les échange par le vrai lecteur.
TEST(CanalHorloge, FormesEtPremiereRegleRompue) {
  using Cas = CasErreurMessageHorloge;
  const Octets question{'R', 'C', 1, 0, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0,
                        0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(MessageHorloge::question(0x0102030405060708).encoder(), question);
  Octets latence = question;
  latence[3] = 3;
  latence[12] = 2;
  EXPECT_EQ(MessageGroupe::latence(0x0102030405060708, 2).encoder(), latence);
  auto avec = [&](std::size_t i, std::uint8_t v, std::size_t j = 0, std::uint8_t w = 'R') {
    Octets o = question;
    o[i] = v;
    o[j] = w;
    return lireCanalHorloge(o);
  };
  for (const auto& [lu, attendu] :
       {std::pair{avec(0, 'X', 2, 9), ErreurMessageHorloge{Cas::signatureInvalide}},
        {avec(1, 'V'), {Cas::signatureInvalide}},
        {avec(2, 2, 3, 7), {Cas::versionInconnue, 2}},
        {avec(3, 255), {Cas::sorteInconnue, 255}},
        {avec(3, 4), {Cas::sorteInconnue, 4}},
        {lireCanalHorloge(VueOctets(question).first(27)), {Cas::tailleInvalide}}}) {
    EXPECT_EQ(lu, std::unexpected(attendu));
  }
  EXPECT_EQ(std::get<MessageHorloge>(*avec(3, 1)).sorte, MessageHorloge::Sorte::reponse);
  EXPECT_EQ(std::get<MessageGroupe>(*avec(3, 2, 27, 9)).sorte, MessageGroupe::Sorte::besoin);
}

// La relève voyage dans une enveloppe de fin : un émetteur qui ne connaît que la fin n'y lit
// pas de fin. Chaque règle rompue se nomme ; toute longueur sous la taille dite est refusée ; le
// nom écrit est toujours montrable, et un nom qui ne l'est pas ne se lit pas.
TEST(MessageReleve, FormeRegleRompueEtLecteurDeFinQuiLIgnore) {
  using Cas = CasErreurReleve;
  const Octets bureau = MessageReleve{"Bureau"}.encoder();
  EXPECT_EQ(bureau, (Octets{'R', 'R', 1, 6, 'B', 'u', 'r', 'e', 'a', 'u'}));
  EXPECT_EQ(MessageReleve::lire(bureau), MessageReleve{"Bureau"});
  EXPECT_FALSE(MessageFin::estFin(bureau));
  EXPECT_FALSE(MessageReleve::lire(MessageFin::donnees).has_value());
  for (std::size_t n = 0; n < bureau.size(); ++n) {
    EXPECT_EQ(MessageReleve::lire(VueOctets(bureau).first(n)),
              std::unexpected(ErreurReleve{n < 4 ? Cas::tropCourt : Cas::tailleInvalide,
                                           static_cast<std::uint8_t>(n < 4 ? 0 : 6)}))
        << n;
  }
  // L'octet `i` remplacé par `v`, le message allongé à `taille` octets de « a ».
  const auto avec = [&](std::size_t i, std::uint8_t v, std::size_t taille = 10) {
    Octets o = bureau;
    o.resize(taille, 'a');
    o[i] = v;
    return MessageReleve::lire(o);
  };
  for (const auto& [lu, attendu] : {std::pair{avec(1, 'F'), ErreurReleve{Cas::signatureInvalide}},
                                    {avec(2, 2), {Cas::versionInconnue, 2}},
                                    {avec(3, 129, 4 + 129), {Cas::nomTropLong, 129}},
                                    {avec(9, 'u', 11), {Cas::tailleInvalide, 6}},
                                    {avec(5, 0xC0), {Cas::nomInvalide}},  // UTF-8 trop long
                                    {avec(5, '\n'), {Cas::nomInvalide}},  // contrôle
                                    {MessageReleve::lire(Octets{'R', 'R', 1, 3, 0xE2, 0x80, 0x8B}),
                                     {Cas::nomInvalide}}}) {  // U+200B, format
    EXPECT_EQ(lu, std::unexpected(attendu));
  }
  EXPECT_EQ(MessageReleve::lire(MessageReleve{"Sa\tlon\x7f" + std::string(200, 'a')}.encoder()),
            MessageReleve{"Salon" + std::string(123, 'a')});
  EXPECT_EQ(MessageReleve::lire(MessageReleve{}.encoder()), MessageReleve{});
}

// L'état publié dans l'annonce du récepteur ; aucun code du produit n'en relit (l'aller-retour
// du lecteur : fuzz_etat_carte).
TEST(EtatCarte, Forme) {
  EXPECT_EQ((EtatCarte{.sonCoupe = true, .enPause = false}).encoder(),
            R"({"enPause":false,"sonCoupe":true})");
}

// Bloc « fmt » de 16 à 19 octets suivi de son octet d'alignement s'il est impair.
TEST(FichierWav, BlocFormatPairOuImpairAvecSonAlignement) {
  for (const std::uint8_t taille : {16, 17, 18, 19}) {
    Octets wav{'R',  'I',  'F', 'F', 0,      0,    0, 0, 'W', 'A', 'V', 'E',
               'f',  'm',  't', ' ', taille, 0,    0, 0, 1,   0,   2,   0,
               0x80, 0xbb, 0,   0,   0,      0xee, 2, 0, 4,   0,   16,  0};
    wav.resize(wav.size() + taille - 16 + (taille & 1), 0);
    const Octets donnees{'d', 'a', 't', 'a', 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    wav.insert(wav.end(), donnees.begin(), donnees.end());
    const auto lu = FichierWav::lire(wav);
    ASSERT_TRUE(lu.has_value()) << int{taille};
    EXPECT_EQ(lu->debutDonnees, 28u + taille + (taille & 1));
    EXPECT_EQ(lu->octetsDonnees, 8u);
  }
}

}  // namespace
}  // namespace ravlo
