// SPDX-License-Identifier: MPL-2.0
// La page dans Chromium à côté de ravlo-recepteur, sous le harnais de clics de
// mesure_bout_a_bout, dans la même course : deux ravlo-envoi --capture prennent le moniteur de
// « ordinateur », l'un vers ravlo-recepteur (sortie « recepteur »), l'autre vers la page
// (--navigateur ; Chromium joue dans « navigateur »). Rend en JSON : la mesure (médiane, p99,
// trous, discontinuités par arrivée), le CPU de chaque processus en ms par minute de son, le
// temps du code tapé à la lecture et le poids de la page au premier chargement.
//   node bench/page_chromium.mjs SECONDES SORTIE.json   (par scripts/mesure_page)
// Lit RAVLO_ENVOI, RAVLO_RECEPTEUR, RAVLO_MESURE (mesure_bout_a_bout), RAVLO_NAV_ADRESSE.
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { attendreQue, lancer, lancerChromium } from '../tests/navigateur/chromium_outils.mjs';

const [secondes = '60', sortie = '/dev/stdout'] = process.argv.slice(2);
const TIC = Number(execFileSync('getconf', ['CLK_TCK']).toString());

const pactl = (...a) => execFileSync('pactl', a).toString().trim();
for (const s of ['ordinateur', 'recepteur', 'navigateur']) {
  pactl('load-module', 'module-null-sink', `sink_name=${s}`, 'rate=48000', 'channels=2');
}
pactl('set-default-sink', 'ordinateur');
pactl('set-default-source', 'ordinateur.monitor');

// utime + stime en ms ; les descendants d'un processus, pour trouver ceux de Chromium.
const cpuMs = (pid) => {
  try {
    const champs = readFileSync(`/proc/${pid}/stat`, 'utf8').replace(/.*\) /, '').split(' ');
    return (Number(champs[11]) + Number(champs[12])) * 1000 / TIC;
  } catch { return 0; }
};
const descendants = (racine) => {
  const parents = new Map();
  for (const n of readdirSync('/proc').filter((x) => /^\d+$/.test(x))) {
    try {
      parents.set(Number(n), Number(readFileSync(`/proc/${n}/stat`, 'utf8').replace(/.*\) /, '').split(' ')[1]));
    } catch { /* fini entre-temps */ }
  }
  const r = [];
  const voir = (p) => { for (const [e, pp] of parents) if (pp === p) { r.push(e); voir(e); } };
  voir(racine);
  return r;
};
// Chromium réécrit sa ligne de commande en une seule chaîne : on la lit d'un bloc.
const commande = (pid) => {
  try { return readFileSync(`/proc/${pid}/cmdline`, 'utf8').replaceAll('\0', ' '); } catch { return ''; }
};
const role = (pid) => {
  const c = commande(pid);
  if (!c.startsWith('/usr/lib/chromium/chromium')) return null;
  const type = c.match(/--type=([a-z-]+)/)?.[1];
  if (!type) return 'chromium (navigateur)';
  if (type === 'renderer') return 'chromium (rendu : la page)';
  if (type === 'gpu-process') return 'chromium (composition)';
  if (/--utility-sub-type=audio\./.test(c)) return 'chromium (son)';
  return 'chromium (autres)';
};

const aFermer = [];
try {
  // ravlo-recepteur et son émetteur.
  const recepteur = lancer(process.env.RAVLO_RECEPTEUR,
    ['--port', '0', '--nom', 'Banc', '--sortie', 'recepteur', '--sans-annonce']);
  aFermer.push(() => recepteur.arreter());
  const port = (await recepteur.ligne(/^Port : \d+$/)).split(': ')[1];
  const codeR = (await recepteur.ligne(/^Code : \d{4}$/)).split(': ')[1];
  const envoiR = lancer(process.env.RAVLO_ENVOI,
    ['--vers', `127.0.0.1:${port}`, '--code', codeR, '--capture']);
  aFermer.push(() => envoiR.arreter());
  await envoiR.ligne(/^Appairé/);

  // La page et le sien.
  const envoiP = lancer(process.env.RAVLO_ENVOI, ['--navigateur', '--port-web', '0', '--capture']);
  aFermer.push(() => envoiP.arreter());
  const portWeb = (await envoiP.ligne(/^Page servie sur le port \d+/)).match(/\d+/)[0];
  // RAVLO_PAGE_REQUETE : « ?tampon=256&latence=0.01 »… pour comparer des réglages de sortie.
  const adresse = `http://${process.env.RAVLO_NAV_ADRESSE}:${portWeb}/${process.env.RAVLO_PAGE_REQUETE ?? ''}`;
  const { navigateur, page } = await lancerChromium({ sortie: 'navigateur' });
  aFermer.push(() => navigateur.close());
  let octets = 0;
  page.on('requestfinished', async (q) => {
    const t = await q.sizes().catch(() => null);
    if (t) octets += t.responseBodySize + t.responseHeadersSize;
  });
  await page.goto(adresse, { waitUntil: 'networkidle' });
  const poids = octets;
  await page.click('#ecouter');
  await attendreQue(async () => (await page.evaluate(() => window.ravloEtat)) === 'code');
  const code = (await page.locator('#code').textContent()).replace(/\D/g, '');
  const tape = performance.now();
  envoiP.ecrire(`${code}\n`);
  await attendreQue(async () => (await page.evaluate(() => window.ravloEtat)) === 'lecture');
  const appairageMs = performance.now() - tape;

  // La capture d'une sortie au repos ne livre qu'au bout d'une à deux secondes.
  await new Promise((r) => setTimeout(r, 2000));
  const suivis = new Map([
    [envoiR.processus.pid, 'ravlo-envoi → ravlo-recepteur'],
    [envoiP.processus.pid, 'ravlo-envoi --navigateur → page'],
    [recepteur.processus.pid, 'ravlo-recepteur'],
  ]);
  for (const pid of descendants(process.pid)) {
    const r = role(pid);
    if (r) suivis.set(pid, r);
  }
  const avant = new Map([...suivis.keys()].map((p) => [p, cpuMs(p)]));
  const charge = () => readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
  const chargeDebut = charge();
  const t0 = performance.now();
  const mesure = lancer(process.env.RAVLO_MESURE, ['--depart', 'ordinateur', '--arrivee',
    'recepteur', '--arrivee', 'navigateur', '--secondes', secondes, '--fenetre', '490',
    '--json', `${process.env.XDG_RUNTIME_DIR}/mesure.json`]);
  // Les compteurs du noyau de la page toutes les 2 s : ce que sa file vise et tient.
  const releves = [];
  const releveur = setInterval(() => {
    page.evaluate(() => window.ravloCompteurs?.() ?? null)
      .then((c) => { if (c) releves.push(c); }, () => {});
  }, 2000);
  const fin = await mesure.fin;
  clearInterval(releveur);
  const duree = (performance.now() - t0) / 1000;
  const cpu = {};
  for (const [pid, nom] of suivis) {
    cpu[nom] = (cpu[nom] ?? 0) + (cpuMs(pid) - avant.get(pid)) * 60 / duree;
  }
  if (fin.code !== 0) throw new Error(`mesure_bout_a_bout : ${JSON.stringify(fin)}\n${mesure.texte()}`);
  const m = JSON.parse(readFileSync(`${process.env.XDG_RUNTIME_DIR}/mesure.json`, 'utf8'));
  const contexte = await page.evaluate(() => window.ravloContexte?.() ?? null).catch(() => null);
  writeFileSync(sortie, JSON.stringify({
    secondes: Number(secondes), duree, charge: [chargeDebut, charge()], poidsOctets: poids, appairageMs, contexte,
    arrivees: m.arrivees, sousAlimentationsSignal: m.sousAlimentationsSignal, cpu,
    resume: mesure.lignes.slice(-2), compteursPage: releves,
  }, null, 1));
} finally {
  for (const f of aFermer.reverse()) await f();
}
