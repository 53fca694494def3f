// SPDX-License-Identifier: MPL-2.0
// La reprise d'un appairage mémorisé : la poignée NNpsk0 entre nos deux automates, ses
// échecs, et face à dissononce, une implémentation de Noise indépendante.
#include <sodium.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

/// Les deux moitiés d'un vrai appairage au code : la même paire de chaque côté.
std::pair<SecretPaire, SecretPaire> paireAppairee() {
  AppairageInitiateur i(*CodeAppairage::depuisSaisie("0042"), "Poste",
                        std::make_shared<HasardDeterministe>(1));
  AppairageRepondeur r(*CodeAppairage::depuisSaisie("0042"),
                       std::make_shared<HasardDeterministe>(2));
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
// liaisons se répondent dans les deux sens, et chaque reprise a ses propres clés.
TEST(Reprise, ReussitSousLaPaireEtDonneDesClesNeuves) {
  const auto [ordi, recepteur] = paireAppairee();
  ASSERT_EQ(ordi, recepteur);
  std::vector<std::pair<Liaison, Liaison>> liens;
  for (std::uint64_t graine : {10, 11}) {
    RI i(ordi, std::make_shared<HasardDeterministe>(graine));
    RR r(memoire(recepteur), std::make_shared<HasardDeterministe>(graine + 100));
    const auto reponse = r.recevoir(parLeFil(i.dernierMessage()));
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
  }
  EXPECT_FALSE(seRepondent(liens[0].first, liens[1].second));
}

// Chaque faute mène le récepteur à `Echoue` avec sa raison, jamais à une liaison ; le refus
// est le même quelle qu'en soit la cause.
TEST(Reprise, EchoueSansLierLeRecepteur) {
  const auto [ordi, recepteur] = paireAppairee();
  SecretPaire autre = recepteur;
  autre.psk.octets()[0] ^= 1;
  // Une reprise passée, enregistrée en entier : son ouverture et sa preuve rejouées.
  RI ancienne(ordi, std::make_shared<HasardDeterministe>(50));
  RR temoin(memoire(recepteur), std::make_shared<HasardDeterministe>(51));
  const M ouvertureAncienne = ancienne.dernierMessage();
  const M preuveAncienne = *ancienne.recevoir(*temoin.recevoir(ouvertureAncienne));

  const auto altere = [](const M& m, std::size_t octet) {
    Octets d = m.donnees();
    d[octet] ^= 0x40;
    return M::decoder(d).value();
  };
  struct Cas {
    const char* nom;
    SecretPaire retenue;
    std::function<M(const M&)> ouverture;
    std::function<M(const M&)> preuve;
    EchecReprise raison;
  };
  const auto tel = [](const M& m) { return m; };
  const std::vector<Cas> cas{
      {"autre PSK", autre, tel, tel, EchecReprise::secretFaux},
      {"identifiant changé", recepteur, [&](const M& m) { return altere(m, 12); }, tel,
       EchecReprise::inconnue},
      {"tentative changée", recepteur, [&](const M& m) { return altere(m, 4); }, tel,
       EchecReprise::secretFaux},
      {"éphémère changée", recepteur, [&](const M& m) { return altere(m, 28); }, tel,
       EchecReprise::secretFaux},
      {"étiquette changée", recepteur, [&](const M& m) { return altere(m, 75); }, tel,
       EchecReprise::secretFaux},
      {"preuve changée", recepteur, tel, [&](const M& m) { return altere(m, 12); },
       EchecReprise::preuveFausse},
      {"ouverture et preuve rejouées", recepteur, [&](const M&) { return ouvertureAncienne; },
       [&](const M&) { return preuveAncienne; }, EchecReprise::preuveFausse},
  };
  for (const Cas& c : cas) {
    RI i(ordi, std::make_shared<HasardDeterministe>(60));
    RR r(memoire(c.retenue), std::make_shared<HasardDeterministe>(61));
    auto reponse = r.recevoir(c.ouverture(i.dernierMessage()));
    ASSERT_TRUE(reponse) << c.nom;
    if (reponse->comme<M::Reponse>()) {
      // Une ouverture rejouée reçoit une réponse neuve, sous une autre clé éphémère : qui
      // la rejoue n'en tire pas de preuve.
      EXPECT_EQ(r.etat(), RR::Etat{RR::EnCours{}}) << c.nom;
      reponse = r.recevoir(c.preuve(i.recevoir(*reponse).value_or(preuveAncienne)));
    }
    EXPECT_EQ(r.etat(), RR::Etat{RR::Echoue{c.raison}}) << c.nom;
    ASSERT_TRUE(reponse && reponse->comme<M::Refus>()) << c.nom;
    EXPECT_EQ(compteCommeEchec(c.raison), c.raison != EchecReprise::inconnue) << c.nom;
  }
}

// La réponse altérée n'est pas prise par l'initiateur, qui renvoie un refus ; un refus du
// récepteur le fait repasser au code.
TEST(Reprise, LInitiateurRefuseUneReponseAlteree) {
  const auto [ordi, recepteur] = paireAppairee();
  for (std::size_t octet : {12u, 40u, 59u}) {
    RI i(ordi, std::make_shared<HasardDeterministe>(70));
    RR r(memoire(recepteur), std::make_shared<HasardDeterministe>(71));
    Octets d = r.recevoir(i.dernierMessage())->donnees();
    d[octet] ^= 1;
    const auto reponse = i.recevoir(M::decoder(d).value());
    ASSERT_TRUE(reponse && reponse->comme<M::Refus>()) << octet;
    EXPECT_EQ(i.etat(), RI::Etat{RI::Echoue{false}});
  }
  RI i(ordi, std::make_shared<HasardDeterministe>(72));
  EXPECT_EQ(i.recevoir(M(i.dernierMessage().tentative(), M::Refus{})), std::nullopt);
  EXPECT_EQ(i.etat(), RI::Etat{RI::Echoue{true}});
}

// Tailles exactes ; un message tronqué n'est lu ni par nous ni, comme tout cas de reprise,
// par le lecteur des messages d'appairage au code.
TEST(Reprise, MessagesTronquesRefusesEtInconnusDeLAppairage) {
  const auto [ordi, recepteur] = paireAppairee();
  RI i(ordi, std::make_shared<HasardDeterministe>(80));
  RR r(memoire(recepteur), std::make_shared<HasardDeterministe>(81));
  const M ouverture = i.dernierMessage();
  const M reponse = *r.recevoir(ouverture);
  const M preuve = *i.recevoir(reponse);
  for (const auto& [m, taille] : std::vector<std::pair<M, std::size_t>>{
           {ouverture, 76}, {reponse, 60}, {preuve, 28}, {M(1, M::Refus{}), 12}}) {
    Octets d = m.donnees();
    EXPECT_EQ(d.size(), taille);
    EXPECT_EQ(M::decoder(d), m);
    EXPECT_FALSE(MessagePasskey::decoder(d));
    d.pop_back();
    EXPECT_FALSE(M::decoder(d)) << taille;
  }
}

/// Un interprète Python qui a dissononce, ou rien.
std::optional<std::string> pythonAvecDissononce() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    const std::string commande = std::string(python) + " -c 'import dissononce' >/dev/null 2>&1";
    if (std::system(commande.c_str()) == 0) return std::string(python);
  }
  return std::nullopt;
}

/// Lance le script avec `arguments` en hexadécimal ; rend ses lignes « nom hex ».
std::map<std::string, Octets> dissononce(const std::string& python,
                                         const std::vector<std::string>& arguments) {
  std::string commande = python + " " + RAVLO_NOISE_DISSONONCE;
  for (const auto& a : arguments) commande += " " + (a.empty() ? "''" : a);
  std::map<std::string, Octets> sorties;
  FILE* flux = popen(commande.c_str(), "r");
  if (!flux) return sorties;
  std::string texte;
  for (char tampon[512]; std::fgets(tampon, sizeof tampon, flux);) texte += tampon;
  if (pclose(flux) != 0) return {};
  std::istringstream lignes(texte);
  for (std::string nom, hex; lignes >> nom >> hex;) sorties[nom] = depuisHexa(hex);
  return sorties;
}

/// L'enveloppe `entete ‖ chiffré` et ses deux moitiés en hexadécimal.
std::pair<std::string, std::string> moities(VueOctets enveloppe) {
  return {hexa(enveloppe.first(Enveloppe::tailleEnTete)),
          hexa(enveloppe.subspan(Enveloppe::tailleEnTete))};
}

// Nos automates face à dissononce, dans chaque rôle : la poignée aboutit des deux côtés, la
// preuve s'ouvre, et les enveloppes scellées par l'un s'ouvrent chez l'autre (un hachage, un
// ordre des clés ou un MixHash de travers y font échouer une étiquette).
TEST(Reprise, InteroperaAvecDissononce) {
  const auto python = pythonAvecDissononce();
  if (!python) GTEST_SKIP() << "python3 et dissononce absents";
  const auto [ordi, recepteur] = paireAppairee();
  const std::string psk = hexa(ordi.psk.octets());
  const std::string ePython(64, '7');
  const Octets clair{'R', 'a', 'v', 'l', 'o'};

  {  // dissononce répond
    RI i(ordi, std::make_shared<HasardDeterministe>(90));
    const M ouverture = i.dernierMessage();
    const std::string prologue = hexa(prologueReprise(ouverture.tentative(), ordi.identifiant));
    const std::string o = hexa(ouverture.comme<M::Ouverture>()->poignee);
    const auto etape1 = dissononce(*python, {"repondeur", psk, prologue, ePython, o});
    ASSERT_EQ(etape1.count("reponse"), 1u);
    M::Poignee p{};
    ASSERT_EQ(etape1.at("reponse").size(), p.size());
    std::copy(etape1.at("reponse").begin(), etape1.at("reponse").end(), p.begin());
    const auto preuve = i.recevoir(M(ouverture.tentative(), M::Reponse{p}));
    ASSERT_TRUE(std::holds_alternative<RI::Reussi>(i.etat()));
    const Liaison l = std::get<RI::Reussi>(i.etat()).liaison;
    const auto [enteteIR, chiffreIR] = moities(*l.scelleur->sceller(clair, SorteEnveloppe::audio));
    const std::string enteteRI = hexa(Enveloppe::entete(SorteEnveloppe::horloge, 0));
    const auto etape2 = dissononce(
        *python, {"repondeur", psk, prologue, ePython, o, hexa(preuve->comme<M::Preuve>()->tag),
                  enteteIR, chiffreIR, enteteRI, hexa(clair)});
    ASSERT_EQ(etape2.count("clair_ir"), 1u) << "preuve ou enveloppe refusée par dissononce";
    EXPECT_EQ(etape2.at("clair_ir"), clair);
    Octets retour = depuisHexa(enteteRI);
    retour.insert(retour.end(), etape2.at("chiffre_ri").begin(), etape2.at("chiffre_ri").end());
    const auto ouvert = l.ouvreur->ouvrir(retour);
    ASSERT_TRUE(ouvert);
    EXPECT_EQ(ouvert->contenu, clair);
  }
  {  // dissononce ouvre
    const std::uint64_t tentative = 0x0102030405060708;
    const std::string prologue = hexa(prologueReprise(tentative, ordi.identifiant));
    const auto etape1 = dissononce(*python, {"initiateur", psk, prologue, ePython});
    ASSERT_EQ(etape1.count("ouverture"), 1u);
    M::Poignee p{};
    ASSERT_EQ(etape1.at("ouverture").size(), p.size());
    std::copy(etape1.at("ouverture").begin(), etape1.at("ouverture").end(), p.begin());
    RR r(memoire(recepteur), std::make_shared<HasardDeterministe>(91));
    const auto reponse = r.recevoir(M(tentative, M::Ouverture{ordi.identifiant, p}));
    ASSERT_TRUE(reponse && reponse->comme<M::Reponse>());
    const std::string enteteIR = hexa(Enveloppe::entete(SorteEnveloppe::audio, 1));
    const auto etape2 =
        dissononce(*python, {"initiateur", psk, prologue, ePython,
                             hexa(reponse->comme<M::Reponse>()->poignee), enteteIR, hexa(clair)});
    ASSERT_EQ(etape2.count("preuve"), 1u) << "réponse refusée par dissononce";
    M::Tag tag{};
    ASSERT_EQ(etape2.at("preuve").size(), tag.size());
    std::copy(etape2.at("preuve").begin(), etape2.at("preuve").end(), tag.begin());
    EXPECT_EQ(r.recevoir(M(tentative, M::Preuve{tag})), std::nullopt);
    ASSERT_TRUE(std::holds_alternative<RR::Reussi>(r.etat()));
    Octets aller = depuisHexa(enteteIR);
    aller.insert(aller.end(), etape2.at("chiffre_ir").begin(), etape2.at("chiffre_ir").end());
    const auto ouvert = std::get<RR::Reussi>(r.etat()).liaison.ouvreur->ouvrir(aller);
    ASSERT_TRUE(ouvert);
    EXPECT_EQ(ouvert->contenu, clair);
  }
}

}  // namespace
}  // namespace ravlo
