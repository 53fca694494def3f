// SPDX-License-Identifier: MPL-2.0
#include "navigateur/noyau/noyau_page.hpp"

#include <limits>
#include <utility>

#include "protocol/appairage/code_appairage.hpp"
#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/crypto/hasard_systeme.hpp"
#include "recepteur/pilote_file.hpp"

namespace ravlo {
namespace {

// La page n'a qu'un pair, le serveur de sa connexion : tout vient de lui et va vers lui.
PointReseau pointPage() {
  return PointReseau{.adresse = "page", .port = 0};
}

NoyauPage::Langue langueDe(std::string_view etiquette) {
  // « en », « en-GB »… ; toute autre langue lit le français, comme la table des programmes.
  const bool anglais = etiquette.size() >= 2 && (etiquette[0] | 0x20) == 'e' &&
                       (etiquette[1] | 0x20) == 'n' &&
                       (etiquette.size() == 2 || etiquette[2] == '-' || etiquette[2] == '_');
  return anglais ? NoyauPage::Langue::anglais : NoyauPage::Langue::francais;
}

}  // namespace

std::unique_ptr<NoyauPage> NoyauPage::creer(std::string_view nom, std::string_view langue,
                                            std::int64_t tramesParSeconde, double maintenantMs,
                                            VueOctets souvenir) {
  if (tramesParSeconde < tramesParSecondeMin || tramesParSeconde > tramesParSecondeMax) {
    return nullptr;
  }
  auto lu = SouvenirPage::lire(souvenir);
  if (!lu) {
    IdentifiantRecepteur id{};
    HasardSysteme().remplir(id);
    lu.emplace(id);
  }
  return std::unique_ptr<NoyauPage>(new NoyauPage(nomAffichable(nom), langueDe(langue),
                                                  tramesParSeconde, instant(maintenantMs),
                                                  std::make_shared<SouvenirPage>(std::move(*lu))));
}

NoyauPage::NoyauPage(std::string nom, Langue langue, std::int64_t tramesParSeconde,
                     InstantNs maintenant, std::shared_ptr<SouvenirPage> souvenir)
    : nom_(std::move(nom)),
      langue_(langue),
      souvenir_(std::move(souvenir)),
      lecture_(std::make_shared<FileLecture>(PiloteFile::amorceDepartTrames, true)),
      rendu_(lecture_, true, tramesParSeconde),
      tramesParMs_(static_cast<double>(tramesParSeconde) / 1000.0),
      recepteur_(GuichetAppairage::Reglages{.codeFixe = std::nullopt,
                                            .tirerCode = [] { return CodeAppairage::aleatoire(); },
                                            .hasard = std::make_shared<HasardSysteme>(),
                                            .memoire = souvenir_},
                 lecture_),
      prochainTic_(maintenant + ticNs) {}

InstantNs NoyauPage::instant(double ms) {
  // Une heure hors de portée (NaN, négative, des siècles) ne fait pas d'instant indéfini.
  if (!(ms >= 0) || ms > 1e15) ms = 0;
  return decalageNs + static_cast<InstantNs>(std::llround(ms * 1e6));
}

void NoyauPage::garder(std::vector<Envoi> envois) {
  for (auto& e : envois) envois_.push_back(std::move(e.donnees));
}

bool NoyauPage::recevoir(VueOctets octets, double maintenantMs) {
  if (fini_) return false;
  garder(recepteur_.recevoir(octets, pointPage(), instant(maintenantMs)));
  return true;
}

void NoyauPage::avancer(double maintenantMs) {
  if (fini_) return;
  const InstantNs maintenant = instant(maintenantMs);
  if (maintenant < prochainTic_) return;
  garder(recepteur_.cadencer(maintenant));
  rendu_.changerVitesse(recepteur_.vitessePPM());
  prochainTic_ = maintenant + ticNs;
}

void NoyauPage::terminer() {
  if (fini_) return;
  fini_ = true;
  if (auto fin = recepteur_.terminer()) envois_.push_back(std::move(fin->donnees));
  lecture_->vider();
}

std::optional<Octets> NoyauPage::prendreEnvoi() {
  if (envois_.empty()) return std::nullopt;
  Octets d = std::move(envois_.front());
  envois_.pop_front();
  return d;
}

const Octets* NoyauPage::prochainEnvoi() const {
  return envois_.empty() ? nullptr : &envois_.front();
}

void NoyauPage::tirer(std::span<float> entrelace, double heureSortieMs, double maintenantMs) {
  if (fini_) {
    std::fill(entrelace.begin(), entrelace.end(), 0.0F);
    return;
  }
  // Le fil principal tire ses blocs par rafales : la file couvre la rafale, pas le bloc.
  const double exces = rafales_.noter(heureSortieMs, maintenantMs);
  rendu_.changerBlocTire(static_cast<std::int64_t>(entrelace.size() / 2) +
                         std::llround(exces * tramesParMs_));
  rendu_.rendre(entrelace, instant(heureSortieMs));
}

NoyauPage::Etat NoyauPage::etat(double maintenantMs) const {
  if (fini_) return Etat::fini;
  if (!recepteur_.appaire()) return Etat::codeAttendu;
  return recepteur_.enPause(instant(maintenantMs)) ? Etat::appaire : Etat::lecture;
}

double NoyauPage::latenceMs() const {
  return recepteur_.compteurs().latenceMs.value_or(std::numeric_limits<double>::quiet_NaN());
}

}  // namespace ravlo
