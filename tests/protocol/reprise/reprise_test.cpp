// SPDX-License-Identifier: MPL-2.0
// La reprise d'un appairage mémorisé : la poignée NNpsk0 entre nos deux automates, ses
// échecs, et face à dissononce, une implémentation de Noise indépendante.
#include <sodium.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "faux/hasard_deterministe.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/appairage/message_passkey.hpp"
#include "protocol/base/lecteur_octets.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"

namespace ravlo {
namespace {

using RI = RepriseInitiateur;
using RR = RepriseRepondeur;
using M = MessageReprise;

std::string hexa(VueOctets o) {
  std::string hex(2 * o.size() + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), o.data(), o.size());
  hex.pop_back();
  return hex;
}

Octets depuisHexa(std::string_view hex) {
  Octets o(hex.size() / 2);
  sodium_hex2bin(o.data(), o.size(), hex.data(), hex.size(), nullptr, nullptr, nullptr);
  return o;
}

std::shared_ptr<HasardDeterministe> hasard(std::uint64_t graine) {
  return std::make_shared<HasardDeterministe>(graine);
}

/// Les deux moitiés d'un vrai appairage au code : la même paire de chaque côté.
std::pair<SecretPaire, SecretPaire> paireAppairee() {
  AppairageInitiateur i(*CodeAppairage::depuisSaisie("0042"), "Poste", hasard(1));
  AppairageRepondeur r(*CodeAppairage::depuisSaisie("0042"), hasard(2));
  for (auto m = std::optional(i.dernierMessage()); m;) {
    const auto reponse = r.recevoir(*m);
    m = reponse ? i.recevoir(*reponse) : std::nullopt;
  }
  return {std::get<AppairageInitiateur::Reussi>(i.etat()).paire,
          std::get<AppairageRepondeur::Reussi>(r.etat()).paire};
}

RR::Recherche memoire(const SecretPaire& paire) {
  return [paire](const IdentifiantPaire& id) {
    return id == paire.identifiant ? std::optional(paire) : std::nullopt;
  };
}

M parLeFil(const M& m) {
  return M::decoder(m.donnees()).value();
}

/// Ouvre côté `b` ce que `a` scelle : les deux liaisons sont celles d'un même lien.
bool seRepondent(const Liaison& a, const Liaison& b) {
  const auto scelle = a.scelleur->sceller(Octets{1, 2, 3}, SorteEnveloppe::audio);
  const auto ouvert = scelle ? b.ouvreur->ouvrir(*scelle) : std::nullopt;
  return ouvert && ouvert->contenu == Octets{1, 2, 3};
}

// Deux reprises sous la paire d'un appairage : le récepteur n'est lié qu'à la preuve, les
// liaisons se répondent dans les deux sens, et chaque reprise a ses propres clés. Tailles
// exactes ; un message tronqué n'est lu ni par nous ni, comme tout cas de reprise, par le
// lecteur des messages d'appairage au code.
TEST(Reprise, ReussitSousLaPaireEtDonneDesClesNeuves) {
  const auto [ordi, recepteur] = paireAppairee();
  ASSERT_EQ(ordi, recepteur);
  std::vector<std::pair<Liaison, Liaison>> liens;
  for (std::uint64_t graine : {10, 11}) {
    RI i(ordi, hasard(graine));
    RR r(memoire(recepteur), hasard(graine + 100));
    const M ouverture = i.dernierMessage();
    const auto reponse = r.recevoir(parLeFil(ouverture));
    ASSERT_TRUE(reponse && reponse->comme<M::Reponse>());
    EXPECT_EQ(r.etat(), RR::Etat{RR::EnCours{}});
    const auto preuve = i.recevoir(parLeFil(*reponse));
    ASSERT_TRUE(preuve && preuve->comme<M::Preuve>());
    EXPECT_EQ(r.recevoir(parLeFil(*preuve)), std::nullopt);
    ASSERT_TRUE(std::holds_alternative<RR::Reussi>(r.etat()));
    EXPECT_EQ(std::get<RR::Reussi>(r.etat()).identifiant, recepteur.identifiant);
    const Liaison a = std::get<RI::Reussi>(i.etat()).liaison;
    const Liaison b = std::get<RR::Reussi>(r.etat()).liaison;
    const auto premiere = a.scelleur->sceller(Octets{}, SorteEnveloppe::horloge);
    EXPECT_EQ(lirePetitBoutiste<std::uint64_t>(premiere->data() + 4), 1u) << "0 : la preuve";
    EXPECT_TRUE(seRepondent(a, b));
    EXPECT_TRUE(seRepondent(b, a));
    liens.emplace_back(a, b);
    for (const auto& [m, taille] : std::vector<std::pair<M, std::size_t>>{
             {ouverture, 76}, {*reponse, 60}, {*preuve, 28}, {M(1, M::Refus{}), 12}}) {
      Octets d = m.donnees();
      EXPECT_EQ(d.size(), taille);
      EXPECT_EQ(M::decoder(d), m);
      EXPECT_FALSE(MessagePasskey::decoder(d));
      d.pop_back();
      EXPECT_FALSE(M::decoder(d)) << taille;
    }
  }
  EXPECT_FALSE(seRepondent(liens[0].first, liens[1].second));
}

// Chaque faute mène le récepteur à `Echoue` avec sa raison, jamais à une liaison ; le refus
// est le même quelle qu'en soit la cause. L'initiateur refuse de même une réponse altérée.
TEST(Reprise, EchoueSansLierNiLeRecepteurNiLInitiateur) {
  const auto [ordi, recepteur] = paireAppairee();
  SecretPaire autre = recepteur;
  autre.psk.octets()[0] ^= 1;
  // Une reprise passée, enregistrée en entier : son ouverture et sa preuve rejouées.
  RI ancienne(ordi, hasard(50));
  RR temoin(memoire(recepteur), hasard(51));
  const M ouvertureAncienne = ancienne.dernierMessage();
  const M preuveAncienne = *ancienne.recevoir(*temoin.recevoir(ouvertureAncienne));

  const auto altere = [](const M& m, int octet) {
    Octets d = m.donnees();
    if (octet >= 0) d[static_cast<std::size_t>(octet)] ^= 0x40;
    return M::decoder(d).value();
  };
  struct Cas {
    const char* nom;
    bool autrePsk, rejeu;
    int octetOuverture, octetPreuve;
    EchecReprise raison;
  };
  for (const Cas& c : std::vector<Cas>{
           {"autre PSK", true, false, -1, -1, EchecReprise::secretFaux},
           {"identifiant changé", false, false, 12, -1, EchecReprise::inconnue},
           {"tentative changée", false, false, 4, -1, EchecReprise::secretFaux},
           {"éphémère changée", false, false, 28, -1, EchecReprise::secretFaux},
           {"étiquette changée", false, false, 75, -1, EchecReprise::secretFaux},
           {"preuve changée", false, false, -1, 12, EchecReprise::preuveFausse},
           {"ouverture et preuve rejouées", false, true, -1, -1, EchecReprise::preuveFausse}}) {
    RI i(ordi, hasard(60));
    RR r(memoire(c.autrePsk ? autre : recepteur), hasard(61));
    auto reponse =
        r.recevoir(altere(c.rejeu ? ouvertureAncienne : i.dernierMessage(), c.octetOuverture));
    if (reponse && reponse->comme<M::Reponse>()) {
      // Une ouverture rejouée reçoit une réponse neuve, sous une autre clé éphémère : qui
      // la rejoue n'en tire pas de preuve.
      EXPECT_EQ(r.etat(), RR::Etat{RR::EnCours{}}) << c.nom;
      reponse = r.recevoir(altere(c.rejeu ? preuveAncienne : *i.recevoir(*reponse), c.octetPreuve));
    }
    EXPECT_EQ(r.etat(), RR::Etat{RR::Echoue{c.raison}}) << c.nom;
    EXPECT_TRUE(reponse && reponse->comme<M::Refus>()) << c.nom;
    EXPECT_EQ(compteCommeEchec(c.raison), c.raison != EchecReprise::inconnue) << c.nom;
  }
  // Une réponse altérée reçoit le refus de l'initiateur ; un refus du récepteur le fait
  // repasser au code.
  for (std::size_t octet : {12u, 40u, 59u}) {
    RI i(ordi, hasard(70));
    Octets d = RR(memoire(recepteur), hasard(71)).recevoir(i.dernierMessage())->donnees();
    d[octet] ^= 1;
    EXPECT_TRUE(i.recevoir(M::decoder(d).value())->comme<M::Refus>()) << octet;
    EXPECT_EQ(i.etat(), RI::Etat{RI::Echoue{false}});
  }
  RI i(ordi, hasard(72));
  EXPECT_EQ(i.recevoir(M(i.dernierMessage().tentative(), M::Refus{})), std::nullopt);
  EXPECT_EQ(i.etat(), RI::Etat{RI::Echoue{true}});
}

/// Lance le script d'essai sous le premier Python qui a dissononce ; ses lignes « nom hex ».
std::optional<std::map<std::string, Octets>> dissononce(std::vector<std::string> arguments) {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    std::string commande = std::string(python) + " " + RAVLO_NOISE_DISSONONCE;
    for (const auto& a : arguments) commande += " " + a;
    FILE* flux = popen(commande.c_str(), "r");
    std::string texte;
    for (char tampon[512]; flux && std::fgets(tampon, sizeof tampon, flux);) texte += tampon;
    const int statut = flux ? pclose(flux) : -1;
    if (WIFEXITED(statut) && WEXITSTATUS(statut) == 3) continue;  // pas de dissononce
    std::map<std::string, Octets> sorties;
    std::istringstream lignes(texte);
    for (std::string nom, hex; lignes >> nom >> hex;) sorties[nom] = depuisHexa(hex);
    return sorties;
  }
  return std::nullopt;
}

template <std::size_t N>
std::array<std::uint8_t, N> tableau(const Octets& o) {
  std::array<std::uint8_t, N> a{};
  std::copy_n(o.begin(), std::min(N, o.size()), a.begin());
  return a;
}

Octets enveloppe(const Enveloppe::EnTete& entete, const Octets& chiffre) {
  Octets e(entete.begin(), entete.end());
  e.insert(e.end(), chiffre.begin(), chiffre.end());
  return e;
}

// Nos automates face à dissononce dans chaque rôle : la poignée aboutit, la preuve s'ouvre,
// et une enveloppe scellée par l'un s'ouvre chez l'autre (un hachage, un ordre des clés ou un
// MixHash de travers y font échouer une étiquette).
TEST(Reprise, InteroperaAvecDissononce) {
  const auto [ordi, recepteur] = paireAppairee();
  const std::string psk = hexa(ordi.psk.octets()), ePython(64, '7'), clair = "5261766c6f";
  const auto entete = [](SorteEnveloppe s, std::uint64_t n) { return Enveloppe::entete(s, n); };

  RI i(ordi, hasard(90));  // dissononce répond
  const std::uint64_t t = i.dernierMessage().tentative();
  const std::string prologue = hexa(prologueReprise(t, ordi.identifiant));
  std::vector<std::string> args{"repondeur", psk, prologue, ePython,
                                hexa(i.dernierMessage().comme<M::Ouverture>()->poignee)};
  auto etape1 = dissononce(args);
  if (!etape1) GTEST_SKIP() << "python3 et dissononce absents";
  const auto preuve = i.recevoir(M(t, M::Reponse{tableau<48>((*etape1)["reponse"])}));
  ASSERT_TRUE(preuve) << "réponse de dissononce refusée";
  const Liaison l = std::get<RI::Reussi>(i.etat()).liaison;
  const Octets aller = *l.scelleur->sceller(depuisHexa(clair), SorteEnveloppe::audio);
  const auto retour = entete(SorteEnveloppe::horloge, 0);
  args.insert(args.end(), {hexa(preuve->comme<M::Preuve>()->tag), hexa(VueOctets(aller).first(12)),
                           hexa(VueOctets(aller).subspan(12)), hexa(retour), clair});
  auto etape2 = dissononce(args).value();
  EXPECT_EQ(hexa(etape2["clair_ir"]), clair) << "preuve ou enveloppe refusée par dissononce";
  const auto ouvert = l.ouvreur->ouvrir(enveloppe(retour, etape2["chiffre_ri"]));
  EXPECT_TRUE(ouvert && hexa(ouvert->contenu) == clair);

  RR r(memoire(recepteur), hasard(91));  // dissononce ouvre
  args = {"initiateur", psk, prologue, ePython};
  const auto reponse = r.recevoir(
      M(t, M::Ouverture{ordi.identifiant, tableau<48>(dissononce(args).value()["ouverture"])}));
  ASSERT_TRUE(reponse && reponse->comme<M::Reponse>());
  const auto versR = entete(SorteEnveloppe::audio, 1);
  args.insert(args.end(), {hexa(reponse->comme<M::Reponse>()->poignee), hexa(versR), clair});
  auto etape3 = dissononce(args).value();
  EXPECT_EQ(r.recevoir(M(t, M::Preuve{tableau<16>(etape3["preuve"])})), std::nullopt);
  ASSERT_TRUE(std::holds_alternative<RR::Reussi>(r.etat())) << "preuve de dissononce refusée";
  const auto lu = std::get<RR::Reussi>(r.etat()).liaison.ouvreur->ouvrir(
      enveloppe(versR, etape3["chiffre_ir"]));
  EXPECT_TRUE(lu && hexa(lu->contenu) == clair);
}

}  // namespace
}  // namespace ravlo
