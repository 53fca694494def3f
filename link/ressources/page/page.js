// SPDX-License-Identifier: MPL-2.0
// La page de réception : elle ne fait que les entrées et sorties. Le noyau WebAssembly (le
// récepteur de l'arbre) appaire, ouvre, cale l'horloge et rééchantillonne ; la page lui passe
// chaque message du WebSocket et son heure, envoie ce qu'il rend, et tire le son au rythme du
// contexte audio. Hors contexte sécurisé (http:// sur le réseau local), pas d'AudioWorklet :
// un ScriptProcessorNode tire le noyau (docs/architecture.md dit pourquoi et ce qu'il coûte).
import { chargerNoyau } from './noyau.mjs';
import { choisirLangue, delaiReconnexion, etatPage, heureSortieMs, messageBonjour,
         nomNavigateur, texte } from './logique.mjs';

const langue = choisirLangue(navigator.language);
const t = (cle, valeurs) => texte(langue, cle, valeurs);
const $ = (id) => document.getElementById(id);
const el = { etat: $('etat'), code: $('code'), codeLu: $('code-lu'), latence: $('latence'), ecouter: $('ecouter'),
             arreter: $('arreter'), note: $('note') };

const parametres = new URLSearchParams(location.search);
// 512 trames : voir docs/architecture.md ; ?tampon=256… pour mesurer.
const TAMPON = [256, 512, 1024, 2048, 4096].includes(Number(parametres.get('tampon')))
  ? Number(parametres.get('tampon')) : 512;
// ?latence=0.01 (s) : une autre latence demandée au contexte, pour mesurer.
const LATENCE = Number(parametres.get('latence')) > 0 ? Number(parametres.get('latence')) : 'interactive';
const TIC_MS = 100;

const nom = nomNavigateur(navigator.userAgent, {
  uaData: navigator.userAgentData ?? null,
  pointsTactiles: navigator.maxTouchPoints ?? 0,
  inconnu: t('nomInconnu'),
});

let phase = 'attente';
let ws = null;
let connecte = false;
let perdu = false;
let essais = 0;
let reessai = 0;
let recepteur = null;
let codeMontre = '';
let codeRefuse = false;
let ctx = null;
let processeur = null;
let tic = 0;
let verrouEcran = null;
let echec = '';
let contexteAJoue = false;
let etatMontre = null;

document.documentElement.lang = langue;
el.ecouter.textContent = t('ecouter');
el.arreter.textContent = t('arreter');

// Le module se télécharge et se compile pendant que l'utilisateur lit la page.
const noyauPret = fetch('ravlo-noyau.wasm')
  .then((r) => (r.ok ? r.arrayBuffer() : Promise.reject(new Error(`HTTP ${r.status}`))))
  .then((octets) => chargerNoyau(octets));
noyauPret.then(() => { el.ecouter.disabled = false; },
  () => { echec = 'echec'; afficher(); });
afficher();

const maintenant = () => performance.now();
// Pour le diagnostic (console, bancs) : ce que ravlo-recepteur dit par --stats.
window.ravloCompteurs = () => recepteur?.compteurs() ?? null;
window.ravloContexte = () => ctx && { taux: ctx.sampleRate, latenceBase: ctx.baseLatency ?? null,
  latenceSortie: ctx.outputLatency ?? null, tampon: TAMPON };

function afficher() {
  const etatNoyau = recepteur ? recepteur.etat(maintenant()) : null;
  etatMontre = etatNoyau;
  // 'interrupted' : Safari, quand iOS prend la sortie (appel, verrouillage…).
  const sonCoupe = contexteAJoue && ctx !== null && ctx.state !== 'running';
  const etat = etatPage({ phase, connecte, perdu, etatNoyau, sonCoupe });
  window.ravloEtat = etat;
  const libelles = { attente: phase === 'attente' ? 'attente' : 'connexion', code: 'code',
                     appaire: 'appaire', lecture: 'lecture', fini: 'fini',
                     deconnecte: 'deconnecte', suspendu: 'suspendu' };
  const code = etat === 'code' ? recepteur.code() : '';
  // Le même récepteur, un autre code : l'ordinateur en a essayé un faux.
  if (code && codeMontre && code !== codeMontre) codeRefuse = true;
  if (code) codeMontre = code;
  if (codeRefuse) libelles.code = 'codeRefuse';
  changer(el.etat, 'textContent', echec ? t(echec) : t(libelles[etat]));
  changer(el.code, 'textContent', code);
  // Lu chiffre à chiffre, pas « mille deux cent… ».
  changer(el.codeLu, 'textContent', code ? t('codeLu', { chiffres: code.split('').join(' ') }) : '');
  el.code.hidden = !code;
  const latence = recepteur?.latenceMs();
  const montrerLatence = etat === 'lecture' && Number.isFinite(latence);
  if (montrerLatence) changer(el.latence, 'textContent', t('latence', { ms: Math.round(latence) }));
  el.latence.hidden = !montrerLatence;
  el.ecouter.hidden = phase === 'demarre' && etat !== 'suspendu';
  changer(el.ecouter, 'textContent', etat === 'suspendu' ? t('reprendre') : t('ecouter'));
  el.arreter.hidden = phase !== 'demarre';
  if (etat === 'appaire' || etat === 'lecture') retenirAppairage(recepteur);
  if (etat === 'fini' && phase === 'demarre') finir(false);
}

// Un nœud n'est réécrit que s'il change : le lecteur d'écran n'annonce que les changements.
function changer(noeud, propriete, valeur) {
  if (noeud[propriete] !== valeur) noeud[propriete] = valeur;
}

// Tout ce que le noyau veut dire part tout de suite, un datagramme par message binaire.
function vider() {
  if (!recepteur) return;
  const envois = recepteur.prendreEnvois();
  if (!ws || ws.readyState !== WebSocket.OPEN) return;
  for (const d of envois) ws.send(d);
}

// ——— Reprise d'un appairage retenu ———
// Appairée, la page garde le souvenir du noyau (base64) dans localStorage ; une connexion
// neuve le rend au noyau, et le bonjour dit l'identifiant de la page et, s'il y a de quoi, la
// reprise : l'ordinateur qui s'en souvient reprend sans code. Un souvenir abîmé est ignoré
// par le noyau (la page montre un code). Sans stockage (navigation privée), rien n'est gardé.
const CLE_SOUVENIR = 'ravlo-souvenir';
let codeRetenu = null;
function retenirAppairage(r) {
  // Un appairage au code renouvelle le code, une reprise fait passer à « appairé » : le
  // souvenir ne change qu'alors, inutile de le relire à chaque message.
  const code = r.code();
  if (code === codeRetenu) return;
  codeRetenu = code;
  const souvenir = r.souvenir();
  try {
    if (souvenir) localStorage.setItem(CLE_SOUVENIR, souvenir);
    else localStorage.removeItem(CLE_SOUVENIR);
  } catch { /* stockage refusé : on s'appairera au code */ }
}
function souvenirRetenu() {
  try {
    return localStorage.getItem(CLE_SOUVENIR);
  } catch {
    return null;
  }
}
function lignesReprise() {
  return recepteur ? recepteur.lignesBonjour() : {};
}
// ———

function nouveauRecepteur(noyau, souvenir) {
  recepteur?.detruire();
  recepteur = noyau.creer(nom, navigator.language ?? '', Math.round(ctx.sampleRate), maintenant(),
                          { souvenir });
  codeMontre = '';
  codeRefuse = false;
  codeRetenu = null;
  return recepteur !== null;
}

function ouvrir(noyau) {
  reessai = 0;
  const souvenir = souvenirRetenu();
  if (!nouveauRecepteur(noyau, souvenir)) {
    echec = 'sansSon';
    return afficher();
  }
  const socket = new WebSocket(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/ravlo`);
  socket.binaryType = 'arraybuffer';
  ws = socket;
  socket.onopen = () => {
    if (ws !== socket) return;
    connecte = true;
    essais = 0;
    socket.send(messageBonjour(nom, navigator.language ?? '', lignesReprise()));
    vider();
    afficher();
  };
  socket.onmessage = (m) => {
    if (ws !== socket || !recepteur || typeof m.data === 'string') return;
    recepteur.recevoir(new Uint8Array(m.data), maintenant());
    recepteur.avancer(maintenant());
    vider();
    // L'écran suit le tic : le redessiner à chaque paquet (150 par seconde) coûtait au
    // navigateur le tiers de son travail. Un changement d'état du noyau se montre aussitôt.
    if (recepteur.etat(maintenant()) !== etatMontre) afficher();
  };
  socket.onclose = () => {
    if (ws !== socket) return;
    ws = null;
    perdu = perdu || connecte;
    connecte = false;
    if (phase === 'demarre' && recepteur?.etat(maintenant()) !== 'fini') {
      // La voie de l'ordinateur est partie avec la connexion : il verra une page neuve.
      reessai = setTimeout(() => ouvrir(noyau), delaiReconnexion(essais++));
    }
    afficher();
  };
}

function avancer() {
  if (!recepteur) return;
  recepteur.avancer(maintenant());
  vider();
  afficher();
}

function tirer(evenement) {
  const sortie = evenement.outputBuffer;
  const gauche = sortie.getChannelData(0);
  const droite = sortie.getChannelData(1);
  if (!recepteur) {
    gauche.fill(0);
    droite.fill(0);
    return;
  }
  const tire = maintenant();
  const heure = heureSortieMs({
    heureBloc: evenement.playbackTime,
    horodatage: ctx.getOutputTimestamp?.() ?? null,
    maintenantMs: tire,
    heureContexte: ctx.currentTime,
    latenceBase: ctx.baseLatency ?? 0,
    latenceSortie: ctx.outputLatency ?? 0,
  });
  const son = recepteur.tirer(sortie.length, heure, tire);
  for (let i = 0; i < sortie.length; i++) {
    gauche[i] = son[2 * i];
    droite[i] = son[2 * i + 1];
  }
}

async function garderEcran() {
  if (!('wakeLock' in navigator) || !window.isSecureContext) {
    changer(el.note, 'textContent', t('ecranAllume'));
    return;
  }
  try {
    verrouEcran = await navigator.wakeLock.request('screen');
    changer(el.note, 'textContent', t('ecranGarde'));
  } catch {
    changer(el.note, 'textContent', t('ecranAllume'));
  }
}

// Le geste de l'utilisateur : le contexte audio doit naître ou reprendre ici même, avant tout
// await, sans quoi les navigateurs des téléphones le gardent muet.
el.ecouter.addEventListener('click', async () => {
  const Contexte = window.AudioContext ?? window.webkitAudioContext;
  if (!Contexte || !window.WebAssembly) {
    echec = 'sansSon';
    return afficher();
  }
  // iOS : sans cela, le bouton de sonnerie coupe le son de la page.
  if (navigator.audioSession) navigator.audioSession.type = 'playback';
  if (phase === 'demarre') {
    // « Reprendre le son » : le geste que le téléphone attendait.
    ctx?.resume().catch(() => {});
    return;
  }
  if (!ctx) {
    ctx = new Contexte({ latencyHint: LATENCE });
    ctx.onstatechange = () => {
      if (ctx.state === 'running') contexteAJoue = true;
      afficher();
    };
  }
  const reprise = ctx.resume();
  phase = 'demarre';
  perdu = false;
  echec = '';
  afficher();
  let noyau;
  try {
    [noyau] = await Promise.all([noyauPret, reprise]);
  } catch {
    echec = 'echec';
    return afficher();
  }
  processeur = ctx.createScriptProcessor(TAMPON, 0, 2);
  processeur.onaudioprocess = tirer;
  processeur.connect(ctx.destination);
  tic = setInterval(avancer, TIC_MS);
  garderEcran();
  ouvrir(noyau);
  afficher();
});

// La page finit : « Arrêter » (la fin part vers l'ordinateur), ou l'ordinateur a fini.
function finir(envoyerFin) {
  phase = 'fini';
  if (envoyerFin && recepteur) {
    recepteur.terminer();
    vider();
  }
  clearInterval(tic);
  clearTimeout(reessai);
  const socket = ws;
  ws = null;
  connecte = false;
  // Les messages déjà confiés au WebSocket partent avant sa fermeture.
  socket?.close(1000);
  processeur?.disconnect();
  processeur = null;
  recepteur?.detruire();
  recepteur = null;
  verrouEcran?.release().catch(() => {});
  verrouEcran = null;
  contexteAJoue = false;
  ctx?.suspend().catch(() => {});
  afficher();
}

el.arreter.addEventListener('click', () => finir(true));

document.addEventListener('visibilitychange', () => {
  if (document.visibilityState !== 'visible' || phase !== 'demarre') return;
  // Un verrou d'écran tombe quand la page passe derrière ; le contexte peut avoir été coupé.
  ctx?.resume().catch(() => {});
  if ('wakeLock' in navigator && window.isSecureContext) garderEcran();
});
