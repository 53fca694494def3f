// SPDX-License-Identifier: MPL-2.0
// Le noyau WebAssembly de la page, chargé comme la page le charge (noyau.mjs), face à
// l'initiateur d'appairage et au scelleur de l'arbre (emetteur_lignes, natif) : un code faux
// est refusé et en fait montrer un neuf ; le bon appaire ; le son scellé ressort à 44,1 kHz
// avec son ton et son niveau, sans trou ; « Arrêter » envoie la fin, que l'ordinateur ouvre.
// Le temps est simulé : l'essai donne l'heure aux deux bouts. Les règles de texte que la page
// confie au moteur rendent ce que rend ICU en natif.
// Lancé par ctest : RAVLO_NOYAU_WASM, RAVLO_EMETTEUR_LIGNES.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { readFile } from 'node:fs/promises';
import { createInterface } from 'node:readline';
import { chargerNoyau, reglesTexte } from '../../navigateur/noyau/noyau.mjs';

const TAUX = 44_100;
const TON_HZ = 1000;
const MS_PAR_PAQUET = 320 / 48;

// L'ordinateur : une commande, ses lignes jusqu'au « . ».
function lancerEmetteur() {
  const p = spawn(process.env.RAVLO_EMETTEUR_LIGNES, [], { stdio: ['pipe', 'pipe', 'inherit'] });
  const lignes = createInterface({ input: p.stdout })[Symbol.asyncIterator]();
  return {
    async commande(texte) {
      p.stdin.write(texte + '\n');
      const reponse = { datagrammes: [], mots: [] };
      for (;;) {
        const { value, done } = await lignes.next();
        assert.ok(!done, `l'émetteur s'est tu après « ${texte.slice(0, 20)} »`);
        if (value === '.') return reponse;
        if (value.startsWith('d ')) reponse.datagrammes.push(Buffer.from(value.slice(2), 'hex'));
        else reponse.mots.push(value);
      }
    },
    arreter() { p.stdin.end(); p.kill(); },
  };
}

const ns = (ms) => Math.round(ms * 1e6);

// Les datagrammes d'un bout passent à l'autre jusqu'à ce que tout se taise.
async function echanger(emetteur, recepteur, datagrammes, t) {
  const mots = [];
  for (;;) {
    for (const d of datagrammes) recepteur.recevoir(d, t);
    const envois = recepteur.prendreEnvois();
    if (envois.length === 0) return mots;
    datagrammes = [];
    for (const e of envois) {
      const r = await emetteur.commande(`recu ${ns(t)} ${Buffer.from(e).toString('hex')}`);
      datagrammes.push(...r.datagrammes);
      mots.push(...r.mots);
    }
  }
}

// Fréquence par passages à zéro montants, niveau efficace.
function analyser(echantillons) {
  let passages = 0;
  let energie = 0;
  for (let i = 0; i < echantillons.length; i++) {
    energie += echantillons[i] ** 2;
    if (i > 0 && echantillons[i - 1] < 0 && echantillons[i] >= 0) passages++;
  }
  return { hz: passages * TAUX / echantillons.length, efficace: Math.sqrt(energie / echantillons.length) };
}

// `blocs` × 10 ms de son : un paquet toutes les 6,67 ms, un bloc de 10 ms tiré toutes les
// 10 ms et entendu 20 ms plus tard, le tic de l'heure à chaque pas. Rend la voie gauche des
// blocs à partir de `mesureDes`.
async function jouer(emetteur, page, debut, blocs, mesureDes) {
  const trames = TAUX / 100;
  const mesure = [];
  let paquets = 0;
  for (let bloc = 0; bloc < blocs; bloc++) {
    const maintenant = debut + bloc * 10;
    for (let capte; (capte = debut + paquets * MS_PAR_PAQUET) <= maintenant; paquets++) {
      const { datagrammes } = await emetteur.commande(`audio ${ns(capte)} ${TON_HZ}`);
      for (const d of datagrammes) page.recevoir(d, capte);
    }
    page.avancer(maintenant);
    await echanger(emetteur, page, [], maintenant);  // questions d'horloge et leurs réponses
    const son = page.tirer(trames, maintenant + 20);
    assert.equal(son.length, 2 * trames);
    if (bloc >= mesureDes) for (let i = 0; i < son.length; i += 2) mesure.push(son[i]);
  }
  return mesure;
}

// Un seul ordinateur pour tous les essais : chaque appairage remplace le précédent.
const noyau = await chargerNoyau(await readFile(process.env.RAVLO_NOYAU_WASM));
const emetteur = lancerEmetteur();
after(() => emetteur.arreter());

test('le noyau de la page s\'appaire, joue le son scellé de l\'ordinateur et finit', async (t) => {
  assert.equal(noyau.creer('x', 'fr', 4000, 0), null, 'une fréquence de sortie hors de portée');

  const page = noyau.creer('Téléphone\u0007 — Navigateur', 'en-GB', TAUX, 0);
  t.after(() => page.detruire());
  assert.equal(page.nom(), 'Téléphone — Navigateur', 'le nom, sans son caractère de contrôle');
  assert.equal(page.langue(), 'en');
  assert.equal(page.etat(0), 'codeAttendu');

  let maintenant = 1000;
  const codeVrai = page.code();
  assert.match(codeVrai, /^\d{4}$/);
  const codeFaux = String((Number(codeVrai) + 1) % 10000).padStart(4, '0');
  const debutFaux = await emetteur.commande(`appairer ${codeFaux}`);
  const motsFaux = await echanger(emetteur, page, debutFaux.datagrammes, maintenant);
  assert.deepEqual(motsFaux, ['echec']);
  assert.equal(page.etat(maintenant), 'codeAttendu');
  const code = page.code();
  assert.notEqual(code, codeVrai, 'un code entamé ne sert plus : la page en montre un neuf');

  maintenant += 100;
  const debut = await emetteur.commande(`appairer ${code}`);
  assert.deepEqual(await echanger(emetteur, page, debut.datagrammes, maintenant), ['appaire']);
  assert.equal(page.etat(maintenant), 'appaire');
  assert.notEqual(page.code(), code, 'un code servi ne sert plus');

  // 4 s de son ; les deux dernières secondes sont mesurées, une fois la file amorcée et la
  // latence apprise.
  const trames = TAUX / 100;
  const mesure = await jouer(emetteur, page, maintenant, 400, 200);
  maintenant += 4000;
  assert.equal(page.etat(maintenant), 'lecture');
  const { hz, efficace } = analyser(mesure);
  assert.ok(Math.abs(hz - TON_HZ) < 5, `ton à ${hz} Hz`);
  assert.ok(Math.abs(efficace - 0.5 / Math.SQRT2) < 0.01, `niveau efficace ${efficace}`);
  // Sans trou : chaque tranche de 10 ms porte le ton.
  for (let i = 0; i + trames <= mesure.length; i += trames) {
    assert.ok(analyser(mesure.slice(i, i + trames)).efficace > 0.3, `trou à ${i / TAUX} s`);
  }
  const latence = page.latenceMs();
  t.diagnostic(`ton ${hz.toFixed(1)} Hz, efficace ${efficace.toFixed(4)}, latence ${latence.toFixed(1)} ms`);
  assert.ok(latence > 20 && latence < 100, `latence ${latence} ms`);
  // Les compteurs lus dans l'ordre où le noyau les écrit : la même latence, aucun trou.
  const c = page.compteurs();
  assert.equal(c.latenceMs, latence);
  assert.equal(c.trous, 0);
  assert.ok(c.cibleMs > 0 && c.reserveMs > 0, JSON.stringify(c));

  page.terminer();
  assert.equal(page.etat(maintenant), 'fini');
  assert.deepEqual(await echanger(emetteur, page, [], maintenant), ['fin']);
  assert.ok(page.tirer(trames, maintenant).every((v) => v === 0), 'fini : du silence');
  assert.equal(page.recevoir(Buffer.alloc(40), maintenant), false);
});

test('les règles de texte du moteur rendent ce que rend ICU', async () => {
  const u = (texte) => Buffer.from(texte, 'utf8');
  const h = (hex) => Buffer.from(hex.replace(/ /g, ''), 'hex');
  const cas = {
    simple: u('Portable de Léa'),
    controles: u('a\u0007b\u001bc\u200bd\u00ade'),
    bom: h('ef bb bf 41'),
    famille: u('\u{1F468}\u200d\u{1F469}\u200d\u{1F467}'),
    tropLong: u('a'.repeat(200)),
    drapeaux: u('\u{1F1EB}\u{1F1F7}'.repeat(40)),
    grappeQuiDeborde: u('a'.repeat(10) + 'e' + '\u0301'.repeat(60)),
    vide: Buffer.alloc(0),
    malForme: h('ff'.repeat(50)),
    tronque: h('f0 9f 98 41'),
    surLong: h('c0 af'),
    demiCode: h('ed a0 80'),
    auDela: h('f4 90 80 80'),
    e0: h('e0 80 80'),
    continuation: h('80 41'),
    espaces: u('\t\u00a0nom\u3000 '),
  };
  for (const [nom, octets] of Object.entries(cas)) {
    const { mots } = await emetteur.commande(`texte ${octets.toString('hex')}`);
    const [, affichable, strict] = mots[0].split(' ');
    assert.equal(Buffer.from(reglesTexte.nomAffichable(octets)).toString('hex'), affichable ?? '', nom);
    assert.equal(reglesTexte.estUtf8Strict(octets), strict === '1', nom);
  }
});

// Le bonjour tel que la page l'écrit : « clé=valeur », une par ligne.
const idDe = (lignes) => /^id=([0-9a-f]{32})(\nreprise=1)?$/.exec(
  Object.entries(lignes).map(([c, v]) => `${c}=${v}`).join('\n'));

async function appairerAuCode(emetteur, page, maintenant, nom = 'Essai') {
  const debut = await emetteur.commande(`appairer ${page.code()} ${nom}`);
  return echanger(emetteur, page, debut.datagrammes, maintenant);
}

async function reprendre(emetteur, page, maintenant) {
  const ouverture = await emetteur.commande('reprendre');
  assert.equal(ouverture.datagrammes.length, 1, 'l\'ordinateur se souvient de la page');
  return echanger(emetteur, page, ouverture.datagrammes, maintenant);
}

// Le souvenir garde les 4 ordinateurs venus le plus récemment ; le même qui s'appaire de
// nouveau au code a perdu l'appairage d'avant : il le remplace, le souvenir n'enfle pas.
test('rechargée, la page reprend sans code le dernier ordinateur venu', async (t) => {
  const premiere = noyau.creer('Pixel', 'fr', TAUX, 0);
  assert.equal(premiere.souvenir(), null, 'rien à garder avant un appairage');
  const [, id, reprise] = idDe(premiere.lignesBonjour());
  assert.equal(reprise, undefined);
  const tailles = [];
  const souvenirs = [];
  for (const nom of ['A', 'A', 'B', 'C', 'D', 'E']) {
    assert.deepEqual(await appairerAuCode(emetteur, premiere, 100, nom), ['appaire'], nom);
    souvenirs.push(premiere.souvenir());
    tailles.push(Buffer.from(souvenirs.at(-1), 'base64').length);
  }
  assert.match(souvenirs[0], /^[A-Za-z0-9+/]+=*$/);
  assert.notEqual(souvenirs[1], souvenirs[0]);
  // Version, identifiant, carnet (version, nombre), puis 57 octets et le nom par ordinateur.
  assert.deepEqual(tailles, [1, 1, 2, 3, 4, 4].map((n) => 1 + 16 + 2 + n * (57 + 1)));
  assert.deepEqual(premiere.lignesBonjour(), { id, reprise: '1' }, 'le même identifiant, et la reprise');
  premiere.detruire();

  // Le rechargement : un noyau neuf, du souvenir seul, reprend sans que le code serve.
  const page = noyau.creer('Pixel', 'fr', TAUX, 0, { souvenir: souvenirs.at(-1) });
  t.after(() => page.detruire());
  assert.deepEqual(page.lignesBonjour(), { id, reprise: '1' });
  assert.equal(page.etat(50), 'codeAttendu');
  const code = page.code();
  assert.deepEqual(await reprendre(emetteur, page, 100), ['repris']);
  assert.equal(page.etat(100), 'appaire');
  assert.equal(page.code(), code, 'une reprise ne dépense pas le code');
  assert.notEqual(page.souvenir(), null, 'repris, il reste à reprendre');

  const mesure = await jouer(emetteur, page, 200, 400, 200);
  const { hz, efficace } = analyser(mesure);
  assert.ok(Math.abs(hz - TON_HZ) < 5, `ton à ${hz} Hz`);
  assert.ok(Math.abs(efficace - 0.5 / Math.SQRT2) < 0.01, `niveau efficace ${efficace}`);

  page.oublier();
  assert.equal(page.souvenir(), null, 'oublié, plus rien à garder');
  assert.deepEqual(page.lignesBonjour(), { id });
});

test('un souvenir abîmé ne fait rien reprendre : la page s\'appaire au code', async () => {
  const premiere = noyau.creer('Pixel', 'fr', TAUX, 0);
  assert.deepEqual(await appairerAuCode(emetteur, premiere, 100), ['appaire']);
  const souvenir = Buffer.from(premiere.souvenir(), 'base64');
  const [, id] = idDe(premiere.lignesBonjour());
  premiere.detruire();

  // Version, identifiant de la page, en-tête du carnet, identifiant de la paire, PSK.
  const change = (i) => {
    const b = Buffer.from(souvenir);
    b[i] ^= 0x40;
    return b.toString('base64');
  };
  const cas = {
    pskAbimee: { souvenir: change(1 + 16 + 2 + 16 + 5), memeId: true },
    version: { souvenir: change(0) },
    tronque: { souvenir: souvenir.subarray(0, souvenir.length - 3).toString('base64') },
    enTrop: { souvenir: Buffer.concat([souvenir, Buffer.from([0])]).toString('base64') },
    pasBase64: { souvenir: '%%% pas du base64 %%%' },
    vide: { souvenir: '' },
    horsSujet: { souvenir: Buffer.alloc(40, 7).toString('base64') },
    pasUnTexte: { souvenir: 42 },
  };
  let maintenant = 1000;
  for (const [nom, { souvenir: abime, memeId = false }] of Object.entries(cas)) {
    maintenant += 1000;
    const page = noyau.creer('Pixel', 'fr', TAUX, maintenant, { souvenir: abime });
    assert.ok(page, nom);
    const [, idLu, reprise] = idDe(page.lignesBonjour());
    assert.equal(idLu === id, memeId, `${nom} : identifiant`);
    assert.equal(reprise !== undefined, memeId, `${nom} : reprise`);
    // L'ordinateur essaie la paire de son dernier appairage : la page la refuse.
    const code = page.code();
    assert.deepEqual(await reprendre(emetteur, page, maintenant), ['refus'], nom);
    assert.equal(page.etat(maintenant), 'codeAttendu', nom);
    assert.equal(page.code(), code, `${nom} : le code tient`);
    assert.deepEqual(await appairerAuCode(emetteur, page, maintenant), ['appaire'], nom);
    assert.notEqual(page.souvenir(), null, nom);
    page.detruire();
  }
});
