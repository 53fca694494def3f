// SPDX-License-Identifier: MPL-2.0
// Ce que la page décide sans navigateur : sa langue et ses textes, le nom qu'elle donne à
// l'ordinateur, son bonjour, l'état qu'elle montre, l'heure où son son s'entendra, l'attente
// avant de se reconnecter. La page et ses essais sous Node importent ce même module.

export const TEXTES = {
  fr: {
    ecouter: 'Écouter',
    arreter: 'Arrêter',
    attente: 'Le son de l’ordinateur, sur ce téléphone.',
    connexion: 'Connexion à l’ordinateur…',
    code: 'Tapez ce code sur l’ordinateur :',
    codeLu: 'Code : {chiffres}',
    codeRefuse: 'Code refusé. Tapez ce nouveau code :',
    appaire: 'Appairé. Le son arrive…',
    lecture: 'Lecture.',
    latence: 'Retard : {ms} ms',
    fini: 'Arrêté.',
    deconnecte: 'Connexion perdue. Nouvel essai…',
    suspendu: 'Le téléphone a coupé le son pendant que la page était cachée.',
    reprendre: 'Reprendre le son',
    ecranGarde: 'L’écran reste allumé tant que le son joue.',
    ecranAllume: 'Gardez l’écran allumé et cette page devant vous : si le téléphone se verrouille ou si vous changez d’onglet, le son peut s’arrêter.',
    sansSon: 'Ce navigateur ne peut pas jouer le son.',
    echec: 'La page n’a pas pu démarrer. Rechargez-la.',
    nomInconnu: 'Navigateur',
  },
  en: {
    ecouter: 'Listen',
    arreter: 'Stop',
    attente: 'The computer’s sound, on this phone.',
    connexion: 'Connecting to the computer…',
    code: 'Type this code on the computer:',
    codeLu: 'Code: {chiffres}',
    codeRefuse: 'Wrong code. Type this new one:',
    appaire: 'Paired. Sound is coming…',
    lecture: 'Playing.',
    latence: 'Delay: {ms} ms',
    fini: 'Stopped.',
    deconnecte: 'Connection lost. Retrying…',
    suspendu: 'The phone stopped the sound while the page was hidden.',
    reprendre: 'Resume sound',
    ecranGarde: 'The screen stays on while sound plays.',
    ecranAllume: 'Keep the screen on and this page in front: if the phone locks or you switch tabs, the sound may stop.',
    sansSon: 'This browser cannot play the sound.',
    echec: 'The page could not start. Reload it.',
    nomInconnu: 'Browser',
  },
};

/// « fr », « fr-CA »… → 'fr' ; toute autre langue, ou aucune → 'en'.
export function choisirLangue(langue) {
  return /^fr(?:-|_|$)/i.test(String(langue ?? '')) ? 'fr' : 'en';
}

/// Le texte `cle` dans `langue`, ses « {nom} » remplacés par `valeurs`.
export function texte(langue, cle, valeurs = {}) {
  return TEXTES[langue][cle].replace(/\{(\w+)\}/g, (_, nom) => String(valeurs[nom]));
}

const MARQUES = [
  // Du plus précis au plus général : les navigateurs dérivés citent ceux dont ils dérivent.
  [/EdgiOS\/|EdgA?\//, 'Edge'],
  [/OPR\/|OPiOS\//, 'Opera'],
  [/SamsungBrowser\//, 'Samsung Internet'],
  [/FxiOS\/|Firefox\//, 'Firefox'],
  [/CriOS\//, 'Chrome'],
  [/Chromium\//, 'Chromium'],
  [/Chrome\//, 'Chrome'],
  [/Safari\//, 'Safari'],
];
const MARQUES_UA_DATA = { 'Google Chrome': 'Chrome', 'Microsoft Edge': 'Edge', 'Opera': 'Opera',
                          'Samsung Internet': 'Samsung Internet', 'Chromium': 'Chromium' };
const PLATEFORMES_UA_DATA = { 'Android': 'Android', 'Linux': 'Linux', 'Windows': 'Windows',
                              'macOS': 'Mac', 'Chrome OS': 'Chromebook', 'iOS': 'iPhone' };

function appareilDe(ua, pointsTactiles) {
  if (/iPhone|iPod/.test(ua)) return 'iPhone';
  if (/iPad/.test(ua)) return 'iPad';
  if (/Android/.test(ua)) return 'Android';
  // iPadOS se présente en Mac ; seul l'écran tactile le trahit.
  if (/Macintosh/.test(ua)) return pointsTactiles > 1 ? 'iPad' : 'Mac';
  if (/Windows/.test(ua)) return 'Windows';
  if (/CrOS/.test(ua)) return 'Chromebook';
  if (/Linux|X11/.test(ua)) return 'Linux';
  return '';
}

/// Le nom montré sur l'ordinateur : « iPhone — Safari », « Android — Chrome »… Les indices
/// structurés (navigator.userAgentData, en contexte sécurisé seulement) passent avant la
/// chaîne, que Chromium réduit ; à défaut de tout, `inconnu`.
export function nomNavigateur(ua, { uaData = null, pointsTactiles = 0, inconnu = 'Navigateur' } = {}) {
  ua = String(ua ?? '');
  let appareil = appareilDe(ua, pointsTactiles);
  if (uaData?.platform && PLATEFORMES_UA_DATA[uaData.platform]) {
    appareil = PLATEFORMES_UA_DATA[uaData.platform];
  }
  let navigateur = '';
  const marques = (uaData?.brands ?? []).map((b) => MARQUES_UA_DATA[b.brand]).filter(Boolean);
  // « Chromium » figure aussi chez tous ses dérivés : une autre marque l'emporte.
  navigateur = marques.find((m) => m !== 'Chromium') ?? marques[0] ?? '';
  if (!navigateur) navigateur = MARQUES.find(([motif]) => motif.test(ua))?.[1] ?? '';
  if (appareil && navigateur) return `${appareil} — ${navigateur}`;
  return appareil || navigateur || inconnu;
}

/// Le premier message de la page, en texte. `lignes` : d'autres « clé=valeur » (la reprise
/// d'un appairage retenu en ajoute). Un saut de ligne ne peut pas en inventer une.
export function messageBonjour(nom, langue, lignes = {}) {
  const propre = (v) => String(v).replace(/[\r\n]+/g, ' ').trim();
  const champs = [['nom', nom], ['langue', langue], ...Object.entries(lignes)];
  return ['ravlo-page 1', ...champs.map(([c, v]) => `${c}=${propre(v)}`)].join('\n');
}

/// L'état que la page montre, et que `window.ravloEtat` publie.
///   phase : 'attente' (avant « Écouter »), 'demarre', 'fini' (après « Arrêter ») ;
///   connecte : le WebSocket est ouvert ; perdu : il l'a été, puis s'est fermé ;
///   etatNoyau : celui du récepteur (noyau.mjs), ou null ;
///   sonCoupe : le contexte audio, qui a joué, ne joue plus (un téléphone l'arrête en arrière-
///   plan ; seul un geste le relance à coup sûr) : avant tout autre état, il attend ce geste.
export function etatPage({ phase, connecte, perdu = false, etatNoyau = null, sonCoupe = false }) {
  if (phase === 'attente') return 'attente';
  if (phase === 'fini' || etatNoyau === 'fini') return 'fini';
  if (sonCoupe) return 'suspendu';
  if (!connecte) return perdu ? 'deconnecte' : 'attente';
  switch (etatNoyau) {
    case 'appaire': return 'appaire';
    case 'lecture': return 'lecture';
    case 'codeAttendu': return 'code';
    default: return 'attente';
  }
}

/// Quand, à l'heure de la page (ms, performance.now()), s'entendra la première trame d'un
/// bloc que le contexte jouera à `heureBloc` (s, son horloge). `horodatage` : ce que rend
/// getOutputTimestamp(), qui sait ce que le haut-parleur joue ; sans lui (ou avant qu'il ne
/// soit tenu), l'heure du contexte plus ses latences de traitement et de sortie.
export function heureSortieMs({ heureBloc, horodatage = null, maintenantMs, heureContexte,
                               latenceBase = 0, latenceSortie = 0 }) {
  if (horodatage && horodatage.performanceTime > 0 && horodatage.contextTime > 0) {
    return horodatage.performanceTime + (heureBloc - horodatage.contextTime) * 1000;
  }
  return maintenantMs + (heureBloc - heureContexte + latenceBase + latenceSortie) * 1000;
}

/// L'attente avant le `essai`-ième nouvel essai (0, 1…), en ms : vite après une coupure
/// brève du Wi-Fi, puis de plus en plus rarement ; un peu de hasard évite que toutes les
/// pages d'un réseau revenu frappent ensemble.
export function delaiReconnexion(essai, hasard = Math.random) {
  const base = Math.min(250 * 2 ** Math.max(0, essai), 8000);
  return Math.round(base * (0.75 + 0.5 * hasard()));
}
