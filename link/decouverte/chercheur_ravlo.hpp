// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/decouverte/adresse_manuelle.hpp"
#include "link/decouverte/annonce_recepteur.hpp"
#include "link/decouverte/carnet_recepteurs.hpp"
#include "link/decouverte/dialogue_appairage.hpp"
#include "link/decouverte/registre_codes_grilles.hpp"
#include "plateforme/accueil_pages.hpp"
#include "plateforme/modele_observable.hpp"
#include "plateforme/navigateur_services.hpp"
#include "protocol/crypto/source_de_hasard.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo {

/// Trouve les récepteurs du réseau local et appaire avec celui que l'utilisateur choisit.
///
/// Modèle observable du fil principal : tout champ lu ou écrit l'est sur le fil principal,
/// et chaque changement réel prévient les observateurs une fois. Le navigateur, la connexion
/// d'appairage et les délais de la boîte tournent sur la file "ravlo.chercheur" ; leurs
/// résultats repassent au fil principal, et ne font rien si le chercheur n'existe plus.
///
/// Un code dont on a dévoilé un nonce est « grillé » : il n'est plus jamais envoyé dans ce
/// processus, quel que soit le récepteur, ni pendant 24 h après un relancement quand un
/// magasin de réglages est donné ; `appairer` répond alors `codeDejaEssaye` sans rien
/// envoyer.
///
/// Un récepteur que la recherche ne voit pas s'ajoute par son adresse (`ajouterParAdresse`) :
/// il rejoint la liste, après ceux trouvés, et s'appaire comme eux.
///
/// Une page de réception reliée (`ajouterPage`) y rejoint aussi, après ceux trouvés et avant
/// ceux tapés, tant qu'elle reste reliée ; elle s'appaire par son code comme un récepteur, par
/// la connexion que la fabrique donne pour son point. Le carnet la retient par l'identifiant
/// qu'elle dit (`annonceDePage`), pas par son point, qui change à chaque connexion : rechargée,
/// elle revient « mémorisée » et se reprend sans code si elle annonce la reprise.
class ChercheurRavlo final : public ModeleObservable,
                             public std::enable_shared_from_this<ChercheurRavlo> {
 public:
  /// Un récepteur vu ; `id` et `nom` sont le nom d'instance annoncé. Ajouté par son adresse :
  /// `nom` est l'adresse (`AdresseManuelle::nom`), `id` la même précédée de « adresse: ». Une
  /// page : `nom` est celui qu'elle dit (« iPhone — Safari »), `id` son point précédé de
  /// « page: ».
  struct Appareil {
    std::string id;
    std::string nom;
    PointReseau point;
    /// Ce que dit son TXT, ou le bonjour d'une page ; rien pour un récepteur ajouté par son
    /// adresse.
    std::optional<IdentifiantRecepteur> identifiant = {};
    bool connaitReprise = false;
    /// Retenu d'un appairage au code passé : `appairer` sans code le reprend.
    bool memorise = false;
    [[nodiscard]] bool parAdresse() const { return id.starts_with("adresse:"); }
    [[nodiscard]] bool page() const { return id.starts_with("page:"); }
    bool operator==(const Appareil&) const = default;
  };

  /// Le récepteur appairé et la liaison convenue ; égaux quand ils tiennent les mêmes objets.
  struct RecepteurAppaire {
    Appareil appareil;
    Liaison liaison;
    bool operator==(const RecepteurAppaire&) const = default;
  };

  struct EtatReseau {
    enum class Cas : std::uint8_t { attente, echec, demarrage, actif };
    Cas cas = Cas::demarrage;
    std::optional<ErreurReseau> erreur = {};  ///< la cause, pour `attente` et `echec`
    /// L'explication de `attente` et `echec` dans `locale` ; vide sinon.
    [[nodiscard]] std::string texte(std::string_view locale) const;
    bool operator==(const EtatReseau&) const = default;
  };

  struct Resultat {
    enum class Cas : std::uint8_t {
      accepte,  ///< `nom` : le récepteur
      echec,    ///< `echec` : pourquoi
      aucun,
      refuse,  ///< refusé après un dévoilement : le code est tenu pour faux, et grillé
      codeDejaEssaye,
      finParRecepteur,
      recepteurInjoignable,
      /// Un récepteur retenu n'a pas repris l'appairage : il faut son code, comme la 1re fois.
      codeDemande
    };
    Cas cas = Cas::aucun;
    /// `accepte` : le nom du récepteur ; `finParRecepteur` : celui de l'émetteur qui l'a
    /// pris, s'il l'a dit.
    std::string nom = {};
    std::optional<EchecDialogue> echec = {};  ///< `echec` : pourquoi
    /// Le nom du récepteur accepté, ou l'explication de l'échec dans `locale`.
    [[nodiscard]] std::string texte(std::string_view locale) const;
    bool operator==(const Resultat&) const = default;
  };

  struct Dependances {
    Executeur* principal = nullptr;
    std::shared_ptr<File> file;  ///< "ravlo.chercheur"
    std::shared_ptr<FabriqueNavigateurs> navigateurs;
    std::shared_ptr<FabriqueConnexions> connexions;
    const Horloge* horloge = &horlogeSysteme();
    // Vides : ceux du système (nom de la machine, hasard du système).
    std::function<std::string()> nomMachine;
    std::function<std::shared_ptr<SourceDeHasard>()> hasard;
    /// Garde les codes grillés 24 h d'un lancement à l'autre ; nul : en mémoire seulement.
    std::shared_ptr<MagasinReglages> reglages;
    std::function<std::int64_t()> secondesMurales;  ///< vide : l'horloge murale
    /// Résout l'hôte d'une adresse tapée, sur la file du chercheur ; vide : `resoudreNom`.
    std::function<std::expected<std::vector<std::string>, std::string>(std::string_view,
                                                                       FamilleAdresses)>
        resoudre;
    /// Les récepteurs appairés qu'on reprend sans code ; nul : rien n'est retenu.
    std::shared_ptr<CarnetRecepteurs> carnet = {};
    /// Appelé sur le fil principal quand une page vient d'être appairée ou reprise (l'accueil la
    /// garde).
    std::function<void(const PointReseau&)> pageAppairee = {};
  };

  /// Les dépendances du système : file série "ravlo.chercheur", connexions UDP, carnet dans
  /// le dossier d'état de l'utilisateur ; le
  /// navigateur est donné (Avahi dans les programmes, hors de cette bibliothèque).
  [[nodiscard]] static Dependances dependancesSysteme(Executeur& principal,
                                                      std::shared_ptr<FabriqueNavigateurs> n);

  [[nodiscard]] static std::shared_ptr<ChercheurRavlo> creer(Dependances dependances);
  ~ChercheurRavlo();
  ChercheurRavlo(const ChercheurRavlo&) = delete;
  ChercheurRavlo& operator=(const ChercheurRavlo&) = delete;

  /// Lance la recherche ; ne fait rien si un navigateur tourne déjà.
  void demarrer();
  /// Arrête la recherche et vide la liste ; `etatReseau` garde sa valeur.
  void arreter();
  /// Arrête puis relance la recherche, `etatReseau` repartant de `demarrage` : l'attente ou
  /// l'échec d'avant ne se montre plus tant que le nouveau navigateur n'a rien dit.
  void relancer();
  /// Appaire avec `appareil` au moyen du code tel que tapé ; l'issue arrive dans `resultat`
  /// (et `appaire`) sur le fil principal, jamais par une exception. Réussi, l'appairage est
  /// retenu dans le carnet, à la place d'un plus ancien avec le même récepteur.
  ///
  /// Sans code, un récepteur retenu (`peutReprendre`) est repris : accepté comme après un
  /// code, ou `codeDemande` quand il ne répond pas ou refuse ; le carnet le garde alors (un
  /// refus n'est pas authentifié). Sans code et sans reprise possible : `codeDemande`.
  void appairer(const Appareil& appareil, const std::string& code);
  /// Retenu, et il annonce la reprise ou il a été ajouté par son adresse (pas de TXT).
  [[nodiscard]] bool peutReprendre(const Appareil& appareil) const;
  /// Retire `appareil` du carnet ; sa carte ne dit plus « mémorisé ».
  void oublier(const Appareil& appareil);
  /// Demande à `appareil` de dire son code à voix haute (`demanderCodeParle`), sur la file du
  /// chercheur ; rien ne revient : on l'entend, ou pas.
  void faireEntendre(const Appareil& appareil);

  /// Vérifie `hote` et `port` tels que tapés, puis résout l'hôte sur la file du chercheur ;
  /// l'appareil s'ajoute alors à la liste (une fois : la même adresse retapée ne fait que le
  /// redonner), y reste pour la vie du processus, recherche arrêtée ou non, et `quandAjoute`
  /// reçoit son `id`. Une erreur va dans `erreurAdresse`. Sans effet pendant une résolution.
  void ajouterParAdresse(std::string_view hote, std::string_view port,
                         std::function<void(const std::string&)> quandAjoute = {});
  [[nodiscard]] const std::optional<ErreurAdresse>& erreurAdresse() const { return erreurAdresse_; }

  /// Une page reliée rejoint la liste ; la même page redite ne fait que la redonner.
  void ajouterPage(const PageConnectee& page);
  /// La page partie quitte la liste ; le récepteur appairé, lui, reste ce qu'il est.
  void retirerPage(const PointReseau& point);
  /// Toutes les pages quittent la liste (l'accueil s'est fermé).
  void retirerPages();
  [[nodiscard]] bool resolutionEnCours() const { return resolutionEnCours_; }
  void oublierErreurAdresse() { changer(erreurAdresse_, std::optional<ErreurAdresse>()); }

  /// Ceux trouvés, par nom, puis les pages et ceux ajoutés par leur adresse, dans l'ordre
  /// d'arrivée.
  [[nodiscard]] const std::vector<Appareil>& appareils() const { return appareils_; }
  [[nodiscard]] const EtatReseau& etatReseau() const { return etatReseau_; }
  [[nodiscard]] bool recherche() const { return recherche_; }
  [[nodiscard]] const Resultat& resultat() const { return resultat_; }
  [[nodiscard]] const std::optional<RecepteurAppaire>& appaire() const { return appaire_; }
  [[nodiscard]] const std::set<std::string>& codesGrilles() const { return codesGrilles_; }
  [[nodiscard]] bool appairageEnCours() const { return appairageEnCours_; }

  /// Écrits par le modèle de l'application (fin de diffusion, changement de récepteur).
  void changerResultat(Resultat r) { changer(resultat_, std::move(r)); }
  void changerAppaire(std::optional<RecepteurAppaire> a) { changer(appaire_, std::move(a)); }

 private:
  explicit ChercheurRavlo(Dependances dependances);
  void recevoirResultats(std::vector<ResultatService> resultats);
  void recevoirEtat(EtatNavigateur etat);
  void griller(const std::string& chiffres);
  void refaireListe();
  void conclure(const Appareil& appareil, const std::string& chiffres,
                const AppairageInitiateur& initiateur,
                const std::expected<void, EchecDialogue>& issue);
  void reprendre(const Appareil& appareil, const SecretPaire& paire);
  void conclureReprise(const Appareil& appareil, const RepriseInitiateur& initiateur);
  [[nodiscard]] std::optional<RecepteurMemorise> memorise(const Appareil& appareil) const;
  [[nodiscard]] std::int64_t secondesMurales() const;

  Dependances dep_;
  std::vector<Appareil> trouves_;
  std::vector<Appareil> pages_;
  std::vector<Appareil> manuels_;
  std::vector<Appareil> appareils_;
  std::optional<ErreurAdresse> erreurAdresse_;
  bool resolutionEnCours_ = false;
  EtatReseau etatReseau_;
  bool recherche_ = false;
  Resultat resultat_;
  std::optional<RecepteurAppaire> appaire_;
  std::set<std::string> codesGrilles_;
  bool appairageEnCours_ = false;
  std::unique_ptr<NavigateurServices> navigateur_;
  std::uint64_t generation_ = 0;
  std::optional<RegistreCodesGrilles> registre_;
};

}  // namespace ravlo
