// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/chercheur_ravlo.hpp"

#include "link/decouverte/annonce_page.hpp"
#include "link/decouverte/demande_code_parle.hpp"

#include <algorithm>

#include "plateforme/connexion_udp.hpp"
#include "plateforme/file_serie.hpp"
#include "plateforme/resolution_noms.hpp"
#include "plateforme/systeme.hpp"
#include "protocol/crypto/hasard_systeme.hpp"
#include "protocol/messages/service_ravlo.hpp"
#include "protocol/supervision/message_erreur_reseau.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

// Une page telle qu'elle s'est annoncée ; sa langue ne sert pas ici.
PageConnectee pageDe(const ChercheurRavlo::Appareil& a) {
  return {a.nom, {}, a.point, a.identifiant, a.connaitReprise};
}

// Un récepteur trouvé sans identifiant (d'avant la reprise) ne se reconnaît pas à sa seule
// adresse : d'autres ont pu la prendre. Un récepteur tapé par adresse, si. Une page, par son
// identifiant seul.
std::optional<RecepteurMemorise> retrouver(const std::vector<RecepteurMemorise>& carnet,
                                           const ChercheurRavlo::Appareil& a) {
  if (a.page()) return memoriseDePage(carnet, pageDe(a));
  if (!a.parAdresse() && !a.identifiant) return std::nullopt;
  return chercherMemorise(carnet, a.identifiant, enTexte(a.point));
}

}  // namespace

ChercheurRavlo::Dependances ChercheurRavlo::dependancesSysteme(
    Executeur& principal, std::shared_ptr<FabriqueNavigateurs> n) {
  Dependances d;
  d.principal = &principal;
  d.file = std::make_shared<FileSerie>("ravlo.chercheur");
  d.navigateurs = std::move(n);
  d.connexions = std::make_shared<FabriqueConnexionsUDP>();
  d.carnet = std::make_shared<CarnetFichier>(CarnetFichier::cheminParDefaut());
  return d;
}

std::shared_ptr<ChercheurRavlo> ChercheurRavlo::creer(Dependances dependances) {
  return std::shared_ptr<ChercheurRavlo>(new ChercheurRavlo(std::move(dependances)));
}

ChercheurRavlo::ChercheurRavlo(Dependances dependances) : dep_(std::move(dependances)) {
  // Ce qui n'est pas fourni vient du système.
  if (!dep_.nomMachine) dep_.nomMachine = [] { return nomMachine(); };
  if (!dep_.hasard) dep_.hasard = [] { return std::make_shared<HasardSysteme>(); };
  if (!dep_.resoudre) dep_.resoudre = resoudreNom;
  if (dep_.reglages) registre_.emplace(dep_.reglages, dep_.secondesMurales);
}

ChercheurRavlo::~ChercheurRavlo() {
  if (navigateur_) navigateur_->annuler();
}

void ChercheurRavlo::demarrer() {
  if (navigateur_) return;
  navigateur_ = dep_.navigateurs->creer(ServiceRavlo::typeService, dep_.file);
  // Ce qu'un navigateur arrêté avait déjà posté ne doit toucher ni la liste ni l'état de
  // son successeur.
  const std::uint64_t generation = ++generation_;
  std::weak_ptr<ChercheurRavlo> faible = weak_from_this();
  Executeur* principal = dep_.principal;
  navigateur_->demarrer(
      [faible, principal, generation](std::vector<ResultatService> resultats) {
        if (faible.expired()) return;
        principal->poster([faible, generation, resultats = std::move(resultats)]() mutable {
          auto moi = faible.lock();
          if (moi && moi->navigateur_ && moi->generation_ == generation)
            moi->recevoirResultats(std::move(resultats));
        });
      },
      [faible, principal, generation](EtatNavigateur etat) {
        if (faible.expired()) return;
        principal->poster([faible, generation, etat] {
          auto moi = faible.lock();
          if (moi && moi->navigateur_ && moi->generation_ == generation) moi->recevoirEtat(etat);
        });
      });
  changer(recherche_, true);
}

void ChercheurRavlo::arreter() {
  if (navigateur_) navigateur_->annuler();
  navigateur_.reset();
  changer(recherche_, false);
  trouves_.clear();
  refaireListe();
}

void ChercheurRavlo::refaireListe() {
  std::vector<Appareil> liste = trouves_;
  liste.insert(liste.end(), pages_.begin(), pages_.end());
  liste.insert(liste.end(), manuels_.begin(), manuels_.end());
  const auto carnet = dep_.carnet ? dep_.carnet->lire() : std::vector<RecepteurMemorise>{};
  for (auto& a : liste) a.memorise = retrouver(carnet, a).has_value();
  changer(appareils_, std::move(liste));
}

std::optional<RecepteurMemorise> ChercheurRavlo::memorise(const Appareil& appareil) const {
  if (!dep_.carnet) return std::nullopt;
  return retrouver(dep_.carnet->lire(), appareil);
}

bool ChercheurRavlo::peutReprendre(const Appareil& appareil) const {
  return (appareil.connaitReprise || appareil.parAdresse()) && memorise(appareil).has_value();
}

void ChercheurRavlo::oublier(const Appareil& appareil) {
  if (!dep_.carnet) return;
  (void)dep_.carnet->modifier([&](std::vector<RecepteurMemorise>& carnet) {
    const auto avant = carnet.size();
    std::erase_if(carnet,
                  [&](const RecepteurMemorise& r) { return retrouver({r}, appareil).has_value(); });
    return carnet.size() != avant;
  });
  refaireListe();
}

void ChercheurRavlo::ajouterParAdresse(std::string_view hote, std::string_view port,
                                       std::function<void(const std::string&)> quandAjoute) {
  if (resolutionEnCours_) return;
  const auto lue = lireAdresseManuelle(hote, port);
  if (!lue) {
    changer(erreurAdresse_, std::optional<ErreurAdresse>(lue.error()));
    return;
  }
  changer(erreurAdresse_, std::optional<ErreurAdresse>());
  changer(resolutionEnCours_, true);
  // getaddrinfo peut attendre le DNS des secondes : sur la file du chercheur, pas ici.
  std::weak_ptr<ChercheurRavlo> faible = weak_from_this();
  dep_.file->poster([faible, principal = dep_.principal, resoudre = dep_.resoudre, adresse = *lue,
                     quandAjoute = std::move(quandAjoute)]() mutable {
    auto adresses = resoudre(adresse.hote, adresse.famille());
    principal->poster([faible, adresse = std::move(adresse), adresses = std::move(adresses),
                       quandAjoute = std::move(quandAjoute)] {
      const auto moi = faible.lock();
      if (!moi) return;
      moi->changer(moi->resolutionEnCours_, false);
      if (!adresses || adresses->empty()) {
        moi->changer(moi->erreurAdresse_, std::optional<ErreurAdresse>(ErreurAdresse::hoteInconnu));
        return;
      }
      const std::string nom = adresse.nom();
      Appareil appareil{"adresse:" + nom, nom, PointReseau{adresses->front(), adresse.port}};
      const auto deja = std::ranges::find(moi->manuels_, appareil.id, &Appareil::id);
      if (deja == moi->manuels_.end()) {
        moi->manuels_.push_back(appareil);
      } else {
        *deja = appareil;  // le nom peut désigner une autre adresse qu'avant
      }
      moi->refaireListe();
      if (quandAjoute) quandAjoute(appareil.id);
    });
  });
}

void ChercheurRavlo::ajouterPage(const PageConnectee& page) {
  const AnnonceRecepteur annonce = annonceDePage(page);
  Appareil appareil{"page:" + enTexte(page.point), page.nom, page.point, annonce.identifiant,
                    annonce.connaitReprise};
  const auto deja = std::ranges::find(pages_, appareil.id, &Appareil::id);
  if (deja == pages_.end()) {
    pages_.push_back(std::move(appareil));
  } else {
    *deja = std::move(appareil);
  }
  refaireListe();
}

void ChercheurRavlo::retirerPage(const PointReseau& point) {
  std::erase_if(pages_, [id = "page:" + enTexte(point)](const Appareil& a) { return a.id == id; });
  refaireListe();
}

void ChercheurRavlo::retirerPages() {
  pages_.clear();
  refaireListe();
}

void ChercheurRavlo::relancer() {
  arreter();
  changer(etatReseau_, EtatReseau{});
  demarrer();
}

void ChercheurRavlo::recevoirResultats(std::vector<ResultatService> resultats) {
  std::vector<Appareil> liste;
  for (auto& r : resultats) {
    if (!r.point.nomService) continue;
    const std::string nom = *r.point.nomService;
    const AnnonceRecepteur annonce = lireAnnonce(r.txt);
    liste.push_back({nom, nom, std::move(r.point), annonce.identifiant, annonce.connaitReprise});
  }
  // Ordre des octets, ni localisé ni insensible à la casse : « B » avant « a ».
  std::ranges::stable_sort(liste, {}, &Appareil::nom);
  trouves_ = std::move(liste);
  refaireListe();
}

void ChercheurRavlo::recevoirEtat(EtatNavigateur etat) {
  switch (etat.cas) {
    case EtatNavigateur::Cas::pret:
      changer(etatReseau_, EtatReseau{EtatReseau::Cas::actif, {}});
      break;
    case EtatNavigateur::Cas::attente:
      changer(etatReseau_,
              EtatReseau{EtatReseau::Cas::attente, etat.erreur.value_or(ErreurReseau{})});
      break;
    case EtatNavigateur::Cas::echec:
      changer(etatReseau_,
              EtatReseau{EtatReseau::Cas::echec, etat.erreur.value_or(ErreurReseau{})});
      arreter();
      break;
    case EtatNavigateur::Cas::annule:
      break;
  }
}

void ChercheurRavlo::appairer(const Appareil& appareil, const std::string& code) {
  if (code.empty()) {
    const auto retenu = peutReprendre(appareil) ? memorise(appareil) : std::nullopt;
    if (retenu) {
      reprendre(appareil, retenu->paire);
    } else {
      changer(resultat_, Resultat{Resultat::Cas::codeDemande, {}});
    }
    return;
  }
  const auto lu = CodeAppairage::depuisSaisie(code);
  if (!lu) {
    changer(resultat_, Resultat{Resultat::Cas::echec, {}, ErreurAppairage::codeMalForme});
    return;
  }
  if (codesGrilles_.contains(lu->chiffres()) ||
      (registre_ && registre_->contient(lu->chiffres()))) {
    changer(resultat_, Resultat{Resultat::Cas::codeDejaEssaye, {}});
    return;
  }
  changer(appairageEnCours_, true);
  auto initiateur = std::make_shared<AppairageInitiateur>(*lu, dep_.nomMachine(), dep_.hasard());
  std::weak_ptr<ChercheurRavlo> faible = weak_from_this();
  lancerDialogue(initiateur, appareil.point,
                 PlateformeDialogue{dep_.file, dep_.connexions, dep_.horloge}, *dep_.principal,
                 [faible, appareil, chiffres = lu->chiffres(), initiateur](const auto& issue) {
                   if (auto moi = faible.lock())
                     moi->conclure(appareil, chiffres, *initiateur, issue);
                 });
}

void ChercheurRavlo::faireEntendre(const Appareil& appareil) {
  demanderCodeParle(appareil.point, PlateformeDialogue{dep_.file, dep_.connexions, dep_.horloge},
                    *dep_.principal, {});
}

void ChercheurRavlo::conclure(const Appareil& appareil, const std::string& chiffres,
                              const AppairageInitiateur& initiateur,
                              const std::expected<void, EchecDialogue>& issue) {
  if (!issue.has_value()) {
    if (initiateur.codeGrille()) griller(chiffres);
    changer(resultat_, Resultat{Resultat::Cas::echec, {}, issue.error()});
  } else if (const auto* reussi = std::get_if<AppairageInitiateur::Reussi>(&initiateur.etat())) {
    if (appareil.page() && dep_.pageAppairee) dep_.pageAppairee(appareil.point);
    // Une page sans identifiant ne se retrouverait jamais : rien à retenir.
    const auto retenu =
        appareil.page()
            ? memoireDePage(pageDe(appareil), reussi->paire, secondesMurales())
            : std::optional(RecepteurMemorise{appareil.identifiant, enTexte(appareil.point),
                                              reussi->paire, appareil.nom, secondesMurales()});
    if (dep_.carnet && retenu) {
      (void)dep_.carnet->modifier([&](std::vector<RecepteurMemorise>& carnet) {
        retenirMemorise(carnet, *retenu);
        return true;
      });
      refaireListe();
    }
    changer(resultat_, Resultat{Resultat::Cas::accepte, appareil.nom});
    changer(appaire_, std::optional<RecepteurAppaire>(RecepteurAppaire{appareil, reussi->liaison}));
  } else if (const auto* echoue = std::get_if<AppairageInitiateur::Echoue>(&initiateur.etat())) {
    if (echoue->codeGrille) {
      griller(chiffres);
      changer(resultat_, Resultat{Resultat::Cas::refuse, {}});
    } else {
      changer(resultat_,
              Resultat{Resultat::Cas::echec, {}, ErreurAppairage::refusAvantDevoilement});
    }
  } else {
    if (initiateur.codeGrille()) griller(chiffres);
    changer(resultat_, Resultat{Resultat::Cas::echec, {}, ErreurAppairage::pasDeReponse});
  }
  changer(appairageEnCours_, false);
}

void ChercheurRavlo::reprendre(const Appareil& appareil, const SecretPaire& paire) {
  changer(appairageEnCours_, true);
  auto initiateur = std::make_shared<RepriseInitiateur>(paire, dep_.hasard());
  std::weak_ptr<ChercheurRavlo> faible = weak_from_this();
  lancerReprise(initiateur, appareil.point,
                PlateformeDialogue{dep_.file, dep_.connexions, dep_.horloge}, *dep_.principal,
                [faible, appareil, initiateur](const auto& /*issue*/) {
                  if (auto moi = faible.lock()) moi->conclureReprise(appareil, *initiateur);
                });
}

void ChercheurRavlo::conclureReprise(const Appareil& appareil,
                                     const RepriseInitiateur& initiateur) {
  if (const auto* reussi = std::get_if<RepriseInitiateur::Reussi>(&initiateur.etat())) {
    Liaison liaison = reussi->liaison;
    liaison.aRenvoyer = initiateur.dernierMessage().donnees();
    if (appareil.page() && dep_.pageAppairee) dep_.pageAppairee(appareil.point);
    if (dep_.carnet) {
      (void)dep_.carnet->modifier([&](std::vector<RecepteurMemorise>& carnet) {
        auto r = retrouver(carnet, appareil);
        if (!r) return false;
        // Le récepteur a pu changer d'adresse ou de nom depuis.
        r->adresse = enTexte(appareil.point);
        r->nom = appareil.nom;
        if (appareil.identifiant) r->identifiant = appareil.identifiant;
        r->dernierUsage = secondesMurales();
        retenirMemorise(carnet, std::move(*r));
        return true;
      });
    }
    changer(resultat_, Resultat{Resultat::Cas::accepte, appareil.nom});
    changer(appaire_, std::optional<RecepteurAppaire>(RecepteurAppaire{appareil, liaison}));
  } else {
    changer(resultat_, Resultat{Resultat::Cas::codeDemande, {}});
  }
  changer(appairageEnCours_, false);
}

std::int64_t ChercheurRavlo::secondesMurales() const {
  if (dep_.secondesMurales) return dep_.secondesMurales();
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void ChercheurRavlo::griller(const std::string& chiffres) {
  if (registre_) registre_->ajouter(chiffres);
  if (codesGrilles_.insert(chiffres).second) prevenir();
}

std::string ChercheurRavlo::EtatReseau::texte(std::string_view locale) const {
  if (cas != Cas::attente && cas != Cas::echec) return {};
  return MessageErreurReseau::texte(erreur.value_or(ErreurReseau{}), locale);
}

std::string ChercheurRavlo::Resultat::texte(std::string_view locale) const {
  if (cas == Cas::accepte) return nom;
  return echec ? ravlo::texte(*echec, locale) : std::string();
}

}  // namespace ravlo
