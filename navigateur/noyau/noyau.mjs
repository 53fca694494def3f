// SPDX-License-Identifier: MPL-2.0
// Charge le noyau du récepteur (ravlo-noyau.wasm) et l'habille pour la page : les quelques
// appels WASI qu'il importe (hasard, écriture des erreurs), les règles de texte confiées au
// moteur (qui embarque ICU), et l'interface C en méthodes. Le même module sert la page et
// ses essais sous Node.

const ETATS = ['codeAttendu', 'appaire', 'lecture', 'fini'];
// L'ordre de ravlo_compteurs.
const COMPTEURS = ['cibleMs', 'reserveMs', 'arriveeMs', 'latenceMs', 'vitessePPM', 'trous',
  'paquetsPerdus', 'paquetsTardifs', 'rattrapages'];
const TAILLE_DATAGRAMME_MAX = 2048;
const NOM_OCTETS_MAX = 128;
const ERRNO_BADF = 8;
const ERRNO_NOSYS = 52;

const encodeur = new TextEncoder();
const decodeurStrict = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
const decodeurSouple = new TextDecoder('utf-8', { ignoreBOM: true });
const controleOuFormat = /[\p{Cc}\p{Cf}]/gu;

// Comme texte_unicode.cpp : sans contrôle (Cc) ni format (Cf), puis raccourci d'une grappe de
// graphèmes entière à la fois tant qu'il dépasse 128 octets UTF-8.
function nomAffichable(octets) {
  const propre = decodeurSouple.decode(octets).replace(controleOuFormat, '');
  const tout = encodeur.encode(propre);
  if (tout.length <= NOM_OCTETS_MAX) return tout;
  let garde = '';
  let taille = 0;
  for (const { segment } of new Intl.Segmenter('und', { granularity: 'grapheme' }).segment(propre)) {
    const n = encodeur.encode(segment).length;
    if (taille + n > NOM_OCTETS_MAX) break;
    garde += segment;
    taille += n;
  }
  return encodeur.encode(garde);
}

function estUtf8Strict(octets) {
  try {
    decodeurStrict.decode(octets);
    return true;
  } catch {
    return false;
  }
}

// Le souvenir se range en texte (base64) ; un texte qui n'en est pas ne donne rien.
function depuisBase64(texte) {
  if (typeof texte !== 'string' || texte.length === 0 || texte.length > 8192) return new Uint8Array(0);
  try {
    return Uint8Array.from(atob(texte), (c) => c.charCodeAt(0));
  } catch {
    return new Uint8Array(0);
  }
}

function enBase64(octets) {
  let binaire = '';
  for (const o of octets) binaire += String.fromCharCode(o);
  return btoa(binaire);
}

/// Les règles de texte que le module importe, telles quelles : ses essais les comparent à ICU.
export const reglesTexte = { nomAffichable, estUtf8Strict };

// L'hôte WASI minimal : le noyau n'ouvre aucun fichier ; seule l'écriture d'un message
// d'erreur (sortie d'erreur) et le hasard servent.
function wasi(memoire, { hasard, journal }) {
  const vue = () => new DataView(memoire().buffer);
  return {
    random_get(ptr, taille) {
      // getRandomValues ne donne que 65 536 octets par appel.
      for (let fait = 0; fait < taille; fait += 65536) {
        hasard(new Uint8Array(memoire().buffer, ptr + fait, Math.min(65536, taille - fait)));
      }
      return 0;
    },
    fd_write(fd, iovs, nombre, ecrits) {
      if (fd !== 1 && fd !== 2) return ERRNO_BADF;
      let texte = '';
      let total = 0;
      for (let i = 0; i < nombre; i++) {
        const ptr = vue().getUint32(iovs + 8 * i, true);
        const taille = vue().getUint32(iovs + 8 * i + 4, true);
        texte += decodeurSouple.decode(new Uint8Array(memoire().buffer, ptr, taille));
        total += taille;
      }
      if (texte) journal(texte);
      vue().setUint32(ecrits, total, true);
      return 0;
    },
    fd_close: () => ERRNO_BADF,
    fd_seek: () => ERRNO_NOSYS,
    fd_fdstat_get: () => ERRNO_BADF,
    proc_exit(code) {
      throw new Error(`le noyau s'est arrêté (${code})`);
    },
  };
}

/// Le module instancié ; `creer` en fait un récepteur.
export async function chargerNoyau(octetsWasm, {
  hasard = (tampon) => globalThis.crypto.getRandomValues(tampon),
  journal = (texte) => console.error(texte),
} = {}) {
  let instance = null;
  const memoire = () => instance.exports.memory;
  const octetsA = (ptr, taille) => new Uint8Array(memoire().buffer, ptr, taille);
  const imports = {
    wasi_snapshot_preview1: wasi(memoire, { hasard, journal }),
    ravlo: {
      texte_utf8_strict: (ptr, taille) => (estUtf8Strict(octetsA(ptr, taille)) ? 1 : 0),
      texte_affichable(ptr, taille, sortie, place) {
        const nom = nomAffichable(octetsA(ptr, taille).slice());
        octetsA(sortie, Math.min(place, nom.length)).set(nom.subarray(0, place));
        return nom.length;
      },
    },
  };
  const module = await WebAssembly.compile(octetsWasm);
  // Un import que le module ne demande pas n'est pas une faute ; un qui manque, si.
  instance = await WebAssembly.instantiate(module, imports);
  instance.exports._initialize();
  return new Noyau(instance.exports, octetsA);
}

class Noyau {
  constructor(x, octetsA) {
    this.x = x;
    this.octetsA = octetsA;
  }

  /// Un récepteur : nom de la page, langue (« fr-FR »…), fréquence du contexte audio, heure ;
  /// `souvenir` : ce que `souvenir()` a rendu à un chargement précédent (tel que gardé dans le
  /// stockage de la page, donc peut-être abîmé : illisible, il est ignoré et la page
  /// s'appairera au code). `null` si la fréquence n'est pas tenue.
  creer(nom, langue, tramesParSeconde, maintenantMs, { souvenir = null } = {}) {
    const n = encodeur.encode(nom);
    const l = encodeur.encode(langue);
    const s = depuisBase64(souvenir);
    const p = this.x.ravlo_allouer(n.length + l.length + s.length);
    if (p === 0) return null;
    this.octetsA(p, n.length).set(n);
    this.octetsA(p + n.length, l.length).set(l);
    this.octetsA(p + n.length + l.length, s.length).set(s);
    const r = this.x.ravlo_creer(p, n.length, p + n.length, l.length, tramesParSeconde,
      maintenantMs, p + n.length + l.length, s.length);
    this.octetsA(p, n.length + l.length + s.length).fill(0);
    this.x.ravlo_liberer(p);
    s.fill(0);
    return r === 0 ? null : new RecepteurPage(this, r);
  }
}

export class RecepteurPage {
  constructor(noyau, ptr) {
    const x = noyau.x;
    this.x = x;
    this.octetsA = noyau.octetsA;
    this.ptr = ptr;
    this.tampon = x.ravlo_allouer(TAILLE_DATAGRAMME_MAX);
    this.son = 0;
    this.sonTrames = 0;
  }

  /// Les 4 chiffres à montrer.
  code() { return String(this.x.ravlo_code(this.ptr)).padStart(4, '0'); }
  nom() {
    const n = this.x.ravlo_nom(this.ptr, this.tampon, TAILLE_DATAGRAMME_MAX);
    return decodeurSouple.decode(this.octetsA(this.tampon, n).slice());
  }
  langue() { return this.x.ravlo_langue(this.ptr) === 1 ? 'en' : 'fr'; }

  /// Ce que la page range (localStorage) pour reprendre après un rechargement, en base64 ;
  /// `null` tant qu'aucun ordinateur n'est à reprendre. Il change à chaque appairage : le
  /// relire après chacun.
  souvenir() {
    const taille = this.x.ravlo_souvenir(this.ptr, 0, 0);
    if (taille <= 0) return null;
    const p = this.x.ravlo_allouer(taille);
    this.x.ravlo_souvenir(this.ptr, p, taille);
    const octets = this.octetsA(p, taille).slice();
    this.octetsA(p, taille).fill(0);
    this.x.ravlo_liberer(p);
    const texte = enBase64(octets);
    octets.fill(0);
    return texte;
  }

  /// Les lignes à ajouter au bonjour, clé et valeur : `id` (32 hexa) toujours (l'ordinateur
  /// retient la page sous cet identifiant), `reprise: '1'` quand un ordinateur est à reprendre.
  lignesBonjour() {
    const reprend = this.x.ravlo_identifiant(this.ptr, this.tampon) === 1;
    const id = Array.from(this.octetsA(this.tampon, 16), (o) => o.toString(16).padStart(2, '0')).join('');
    return reprend ? { id, reprise: '1' } : { id };
  }

  /// Plus aucun ordinateur à reprendre : `souvenir()` rend `null`.
  oublier() { this.x.ravlo_oublier(this.ptr); }
  etat(maintenantMs) { return ETATS[this.x.ravlo_etat(this.ptr, maintenantMs)]; }
  /// ms, ou NaN tant qu'elle n'est pas mesurée.
  latenceMs() { return this.x.ravlo_latence_ms(this.ptr); }
  /// Les compteurs du récepteur que `ravlo-recepteur --stats` dit aussi, objet (null : absent).
  compteurs() {
    const n = this.x.ravlo_compteurs(this.ptr, 0, 0);
    const p = this.x.ravlo_allouer(8 * n);
    this.x.ravlo_compteurs(this.ptr, p, n);
    const v = Array.from(new Float64Array(this.x.memory.buffer, p, n));
    this.x.ravlo_liberer(p);
    return Object.fromEntries(COMPTEURS.map((cle, i) => [cle, Number.isNaN(v[i]) ? null : v[i]]));
  }

  /// Un datagramme reçu (un message binaire du WebSocket) ; faux si rien n'est plus lu.
  recevoir(octets, maintenantMs) {
    if (octets.length > TAILLE_DATAGRAMME_MAX) return true;  // le récepteur l'écarterait
    this.octetsA(this.tampon, octets.length).set(octets);
    return this.x.ravlo_recevoir(this.ptr, this.tampon, octets.length, maintenantMs) >= 0;
  }
  avancer(maintenantMs) { this.x.ravlo_avancer(this.ptr, maintenantMs); }
  terminer() { this.x.ravlo_terminer(this.ptr); }

  /// Les datagrammes à envoyer, chacun un message binaire.
  prendreEnvois() {
    const envois = [];
    for (;;) {
      const n = this.x.ravlo_prendre_envoi(this.ptr, this.tampon, TAILLE_DATAGRAMME_MAX);
      if (n <= 0) break;  // < 0 : plus grand que tout datagramme du format, impossible
      envois.push(this.octetsA(this.tampon, n).slice());
    }
    return envois;
  }

  /// `trames` trames stéréo entrelacées à la fréquence du contexte ; `heureSortieMs` : quand
  /// la première s'entendra ; `maintenantMs` : l'heure du tirage, qui dit les rafales du fil
  /// principal. La vue rendue vit jusqu'au prochain appel.
  tirer(trames, heureSortieMs, maintenantMs = NaN) {
    if (trames > this.sonTrames) {
      if (this.son) this.x.ravlo_liberer(this.son);
      this.son = this.x.ravlo_allouer(trames * 8);
      this.sonTrames = trames;
    }
    const n = this.x.ravlo_tirer(this.ptr, this.son, trames, heureSortieMs, maintenantMs);
    return new Float32Array(this.x.memory.buffer, this.son, 2 * n);
  }

  detruire() {
    this.x.ravlo_liberer(this.tampon);
    if (this.son) this.x.ravlo_liberer(this.son);
    this.x.ravlo_detruire(this.ptr);
    this.ptr = 0;
  }
}
