// SPDX-License-Identifier: MPL-2.0
// L'ordinateur face au noyau de la page, en lignes sur l'entrée et la sortie standard :
// l'initiateur d'appairage, le scelleur et l'ouvreur de l'arbre, sans socket. L'heure est
// celle que donne l'essai, en ns.
//   appairer CODE [NOM]    → d HEX (le `debut`), sous le nom d'ordinateur NOM (défaut « Essai »)
//   reprendre              → d HEX (l'ouverture de la reprise de la paire du dernier appairage)
//   recu T HEX             → d HEX… (réponses), puis « appaire », « echec », « repris »,
//                            « refus », « fin » selon le cas
//   audio T HZ             → d HEX : le paquet audio suivant, capté à T, scellé (sinus de HZ,
//                            amplitude 0,5, continu d'un paquet à l'autre)
//   texte HEX              → t HEX 0|1 : `nomAffichable` et `estUtf8Strict` d'ICU, pour les
//                            comparer aux règles que la page confie au moteur
// Chaque commande finit sa réponse par « . ».
#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <variant>

#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/appairage/code_appairage.hpp"
#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/audio/conversion_pcm.hpp"
#include "protocol/audio/format_flux.hpp"
#include "protocol/crypto/hasard_systeme.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "protocol/scellement/enveloppe.hpp"

namespace {

using namespace ravlo;

std::string hex(VueOctets o) {
  static constexpr char chiffres[] = "0123456789abcdef";
  std::string t;
  for (const std::uint8_t b : o) {
    t += chiffres[b >> 4];
    t += chiffres[b & 15];
  }
  return t;
}

Octets octets(const std::string& h) {
  Octets o;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
    o.push_back(static_cast<std::uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
  }
  return o;
}

struct Emetteur {
  std::optional<AppairageInitiateur> initiateur;
  std::optional<RepriseInitiateur> reprise;
  std::optional<SecretPaire> paire;
  std::optional<Liaison> liaison;
  std::uint32_t sequence = 0;

  void lier(const Liaison& l) {
    liaison = l;
    sequence = 0;
  }

  void recuReprise(const Octets& d) {
    const auto m = MessageReprise::decoder(d);
    if (!m) return;
    if (auto suite = reprise->recevoir(*m)) std::cout << "d " << hex(suite->donnees()) << '\n';
    if (const auto* r = std::get_if<RepriseInitiateur::Reussi>(&reprise->etat())) {
      lier(r->liaison);
      reprise.reset();
      std::cout << "repris\n";
    } else if (std::holds_alternative<RepriseInitiateur::Echoue>(reprise->etat())) {
      reprise.reset();
      std::cout << "refus\n";
    }
  }

  void recu(InstantNs t, const Octets& d) {
    if (reprise) return recuReprise(d);
    if (liaison) {
      const auto ouvert = liaison->ouvreur->ouvrir(d);
      if (!ouvert) return;
      if (ouvert->sorte == SorteEnveloppe::fin && MessageFin::estFin(ouvert->contenu)) {
        std::cout << "fin\n";
      } else if (ouvert->sorte == SorteEnveloppe::horloge) {
        const auto m = lireCanalHorloge(ouvert->contenu);
        const auto* q = m ? std::get_if<MessageHorloge>(&*m) : nullptr;
        if (q != nullptr && q->sorte == MessageHorloge::Sorte::question) {
          if (auto r =
                  liaison->scelleur->sceller(q->reponse(t, t).encoder(), SorteEnveloppe::horloge)) {
            std::cout << "d " << hex(*r) << '\n';
          }
        }
      }
      return;
    }
    const auto m = MessagePasskey::decoder(d);
    if (!initiateur || !m) return;
    if (auto suite = initiateur->recevoir(*m)) std::cout << "d " << hex(suite->donnees()) << '\n';
    if (const auto* r = std::get_if<AppairageInitiateur::Reussi>(&initiateur->etat())) {
      lier(r->liaison);
      paire = r->paire;
      initiateur.reset();
      std::cout << "appaire\n";
    } else if (std::holds_alternative<AppairageInitiateur::Echoue>(initiateur->etat())) {
      initiateur.reset();
      std::cout << "echec\n";
    }
  }

  void audio(InstantNs capture, double hz) {
    if (liaison) {
      Octets pcm;
      for (std::size_t i = 0; i < flux::tramesParPaquet; ++i) {
        const double n = static_cast<double>(sequence) * flux::tramesParPaquet + i;
        const auto v = ConversionPCM::versEntier(
            static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hz * n / 48'000)));
        for (std::size_t c = 0; c < flux::canaux; ++c) {
          pcm.push_back(static_cast<std::uint8_t>(v & 0xff));
          pcm.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
        }
      }
      const auto paquet = PaquetAudio::creer(sequence++, capture, std::move(pcm));
      if (auto s = liaison->scelleur->sceller(paquet->encoder(), SorteEnveloppe::audio)) {
        std::cout << "d " << hex(*s) << '\n';
      }
    }
  }
};

}  // namespace

int main() {
  Emetteur e;
  for (std::string ligne; std::getline(std::cin, ligne);) {
    std::istringstream l(ligne);
    std::string commande;
    l >> commande;
    if (commande == "appairer") {
      std::string code;
      std::string nom = "Essai";
      l >> code >> nom;
      if (const auto c = CodeAppairage::depuisSaisie(code)) {
        e.liaison.reset();
        e.initiateur.emplace(*c, nom, std::make_shared<HasardSysteme>());
        std::cout << "d " << hex(e.initiateur->dernierMessage().donnees()) << '\n';
      }
    } else if (commande == "reprendre") {
      if (e.paire) {
        e.liaison.reset();
        e.reprise.emplace(*e.paire, std::make_shared<HasardSysteme>());
        std::cout << "d " << hex(e.reprise->dernierMessage().donnees()) << '\n';
      }
    } else if (commande == "recu") {
      InstantNs t = 0;
      std::string h;
      l >> t >> h;
      e.recu(t, octets(h));
    } else if (commande == "audio") {
      InstantNs t = 0;
      double hz = 0;
      l >> t >> hz;
      e.audio(t, hz);
    } else if (commande == "texte") {
      std::string h;
      l >> h;
      const Octets o = octets(h);
      const std::string nom(o.begin(), o.end());
      const std::string affichable = nomAffichable(nom);
      std::cout << "t "
                << hex(VueOctets(reinterpret_cast<const std::uint8_t*>(affichable.data()),
                                 affichable.size()))
                << ' ' << (estUtf8Strict(o) ? 1 : 0) << '\n';
    }
    std::cout << ".\n" << std::flush;
  }
}
