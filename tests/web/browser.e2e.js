// The script in a real headless browser (BROWSER: chromium or firefox) against the real gateway
// (which serves the script) and a fake Quake III server the test changes as it goes. With
// VIREO_SHOTS set to a folder, it leaves screenshots there for the docs.
const test = require('node:test'), assert = require('node:assert/strict');
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs'), http = require('node:http'), path = require('node:path');
const browsers = require('./browsers.js'), { sleep } = browsers;
const browserName = process.env.BROWSER || 'chromium';
// scripts/install-deps installs them: a missing browser is a broken machine, not a reason to skip.
for (const tool of browserName === 'chromium' ? ['/usr/bin/chromium', '/usr/bin/chromedriver'] : ['/usr/bin/firefox-esr']) assert.ok(fs.existsSync(tool), `${tool} is not installed`);

const listen = (server) => new Promise((r) => server.listen(0, '127.0.0.1', () => r(server.address().port)));
const freePort = async () => { const s = http.createServer(), p = await listen(s); s.close(); return p; };
// The tests' fake Quake III server, told by lines on its input what to answer.
const q3 = spawn(process.env.FAKE_GAME_SERVER, [], { stdio: ['pipe', 'pipe', 'inherit'] });
const tell = (...lines) => q3.stdin.write(lines.map((l) => l + '\n').join(''));
const setGame = (name, map) => tell(`name ${name}`, `map ${map}`);
let asked = 0, hostile = '', gwPort, gateway, b, pages = {};
// In front of the gateway: counts the status requests the browser makes, and can be cut off. To
// the gateway's own address: "localhost" may mean ::1 first, where it does not listen. Like a
// cache that kept an old answer, it can also answer with the gateway's last words, queried
// `replayAge` seconds ago, and its own Date.
let replayAge = 0, lastAnswer = {};
const front = http.createServer((req, res) => {
  if (req.url.startsWith('/status.json')) asked++;
  if (replayAge && req.url.startsWith('/status.json')) {
    const old = { ...lastAnswer, queriedAt: new Date(Date.now() - replayAge * 1000).toISOString() };
    return res.writeHead(200, { 'Content-Type': 'application/json', 'Access-Control-Allow-Origin': '*', 'Access-Control-Expose-Headers': 'Date' }).end(JSON.stringify(old));
  }
  // Only a server's status is kept to be replayed, never a refusal (a 403 of another page).
  if (req.url.startsWith('/status.json')) res.on('pipe', (r) => { let b = ''; r.on('data', (d) => (b += d)).on('end', () => { try { if (r.statusCode === 200) lastAnswer = JSON.parse(b); } catch { /* not JSON */ } }); });
  req.pipe(http.request({ host: '127.0.0.1', port: gwPort, path: req.url, method: req.method, headers: req.headers }, (r) => (res.writeHead(r.statusCode, r.headers), r.pipe(res))).on('error', () => res.destroy()));
});
const site = http.createServer((req, res) => pages[req.url] ? res.writeHead(200, pages[req.url].headers).end(pages[req.url].html) : res.writeHead(404).end());

const run = (fn, ...args) => b.run(fn, ...args);
const shot = async (label) => process.env.VIREO_SHOTS && fs.writeFileSync(path.join(process.env.VIREO_SHOTS, `${browserName}-${label}.png`), await b.screenshot());
async function until(fn, ...args) {
  for (let i = 0; i < 60; i++, await sleep(250)) if (await run(fn, ...args)) return;
  // What the panels said last, to tell a slow page from a wrong one.
  assert.fail(`never true: ${fn}; the states: ${JSON.stringify(await run(() => $$('.vireo-state').map((e) => e.textContent)))}`);
}
const panels = () => [...$$('.vireo')].map((p) => [p.querySelectorAll('.vireo-rows:not([hidden]) .vireo-row').length,
  p.getBoundingClientRect().height, p.getBoundingClientRect().width, p.querySelector('button').getAttribute('aria-expanded')]);

test('pasted snippets become live panels', async (t) => {
  const qport = Number(/port (\d+)/.exec(await new Promise((r) => q3.stdout.once('data', (d) => r(String(d)))))[1]);
  tell('player 31 48 Baron', 'player 27 62 Kestrel', 'player 22 35 Jay');
  const port = await listen(front), sitePort = await listen(site), driverPort = await freePort(), src = `http://127.0.0.1:${port}`;
  gateway = spawn(process.env.VIREO_GATEWAY, ['--listen', `127.0.0.1:${gwPort = await freePort()}`, '--allow', `q3:127.0.0.1:${qport}`, '--min-refresh', '1', '--allow-origin', '*'], { stdio: 'inherit' });
  const snippet = (...a) => execFileSync(process.env.WEB_SNIPPET, a.map(String)).toString();
  // Two whole snippets of one server, then one that kept only its EMBED.
  const html = `<!doctype html><meta charset=utf-8><title>page</title><body>${snippet(118, 'q3', '127.0.0.1', qport, 1000, 1, 1740)}<p>between</p>` +
    snippet(43, 'Q3', '127.0.0.1', qport, 1000, 0, 1740) + snippet(43, 'q3', '127.0.0.1', qport, 1000, 0, 1740).replace(/^[^]*(<EMBED)/, '$1').replace('</OBJECT>', '') + '<br>'.repeat(300);
  const csp = { 'Content-Security-Policy': `default-src 'none'; script-src ${src}; style-src ${src}; connect-src ${src}` };
  pages = { '/plain': { html: html + `<script src="${src}/vireo.js" defer></script>`, headers: {} }, '/bare': { html, headers: csp } };
  pages['/strict'] = { html: pages['/plain'].html, headers: csp };
  // Closing the session ends the browser too, even after a failed assertion.
  t.after(async () => { await b?.close(); gateway?.kill(); q3.stdin.end(); site.close(); front.close(); });
  b = await browsers[browserName](driverPort);
  // What a strict page refuses, seen where the browser lets the test listen from the first line.
  await b.cdp?.('Page.addScriptToEvaluateOnNewDocument', { source: 'window.seen = []; document.addEventListener("securitypolicyviolation", (e) => seen.push([e.violatedDirective, e.blockedURI]));' });

  // A strict page refuses the snippet's own style attributes and OBJECTs with or without the script.
  await b.go(`http://127.0.0.1:${sitePort}/bare`);
  await sleep(1000);
  const seen = () => run(() => (window.seen || []).sort()), baseline = await seen();
  for (const page of ['/strict', '/plain']) {
    setGame('Vireo Test Arena', 'q3dm17');
    await b.go(`http://127.0.0.1:${sitePort}${page}`);
    // Every panel made and titled: a slow first start of the browser must not pass this on none.
    await until(() => { const titles = [...$$('.vireo-title')]; return titles.length === 3 && titles.every((e) => e.textContent === 'Vireo Test Arena'); });
    // Firefox empties a style attribute its page's policy refuses: the open panel then takes the
    // height its ExpandedHight gives.
    const laidOut = page === '/strict' && browserName === 'firefox' ? 116 : 118;
    assert.deepEqual(await run(panels), [[3, laidOut, 514, 'true'], [0, 43, 514, 'false'], [0, 43, 514, 'false']]);
    if (page === '/plain') await shot('514px');
    assert.match(await run(() => $1('.vireo-summary').textContent), /^q3dm17 {2}· {2}3\/16 players {2}· {2}Quake III Arena {2}· {2}127.0.0.1:\d+$/);
    assert.equal(await run(() => [...document.links].filter((a) => a.textContent === 'Get Vireo' && a.getBoundingClientRect().height > 0).length), 3);

    setGame('Vireo Test Arena', 'q3dm6');
    const before = asked;
    await until(() => $1('.vireo-summary').textContent.startsWith('q3dm6'));
    await sleep(3000);
    assert.ok(asked - before <= 6, `three panels of one server share one request a second, not ${asked - before} in about 4 s`);
    await run(() => scrollTo(0, 1e5)); await until(() => [...$$('.vireo')].every((p) => !p.vireoPanel.visible));
    // Counted before scrolling back: panels coming into view ask at once.
    await sleep(1500); const hidden = asked; await sleep(2500); const later = asked;
    await run(() => scrollTo(0, 0));
    assert.equal(later, hidden, 'panels out of view ask nothing');

    await run(() => $$('.vireo button')[1].focus());
    await b.pressEnter();
    await until(() => $$('.vireo-rows:not([hidden]) .vireo-row').length === 6);
    assert.deepEqual((await run(panels))[1], [3, 116, 514, 'true']);

    hostile = '<img src=x onerror="window.pwned=1">\u202e' + 'A'.repeat(10240);
    setGame(hostile, 'q3dm6');
    // The gateway keeps a bounded name: the first 96 characters, shown as text.
    await until((h) => $1('.vireo-title').textContent === h, hostile.slice(0, 96));
    assert.deepEqual(await run(() => [window.pwned, document.querySelectorAll('img').length]), [null, 0]);
    assert.deepEqual((await run(panels)).map((p) => p[2]), [514, 514, 514]);
    assert.deepEqual(await seen(), page === '/strict' ? baseline : []);
  }
  // On a phone the panels fit the screen: nothing off it, no sideways scrolling, the toggle in reach.
  await b.size(360, 700);
  const fits = () => { const w = document.documentElement.clientWidth; return document.documentElement.scrollWidth <= w &&
    [...$$('.vireo, .vireo-toggle, .vireo-state')].every((e) => e.getBoundingClientRect().right <= w); };
  await until(fits);
  await shot('360px');
  await b.size(800, 700);
  // The rows are a table: column headings, and names as row headers.
  assert.deepEqual(await run(() => [$$('[role=columnheader]').slice(0, 3).map((e) => e.textContent), $$('[role=rowheader]').length, $$('[role=table]').length]),
    [['Player', 'Score', 'Ping'], 6, 3]);
  // In the browser's accessibility tree only the three states are live, and the two open panels'
  // rows are tables (the closed one's are hidden).
  if (b.cdp) {
    const ax = (await b.cdp('Accessibility.getFullAXTree')).nodes;
    const live = ax.filter((n) => (n.properties || []).some((p) => p.name === 'live' && p.value.value !== 'off'));
    assert.deepEqual([live.map((n) => n.role.value), ax.filter((n) => n.role?.value === 'table').length], [['status', 'status', 'status'], 2]);
  }
  // The panel is labelled by the server's name.
  assert.equal(await run(() => $1('.vireo').getRootNode().getElementById($1('.vireo').getAttribute('aria-labelledby')).textContent), hostile.slice(0, 96));
  // In a 400 px column, a theme's rules for divs, spans and buttons move nothing in the panel.
  const column = (theme) => `<!doctype html><style>${theme}</style><body><div class="entry-content" style="width:400px">` +
    snippet(118, 'q3', '127.0.0.1', qport, 1000, 1, 1740) + `</div><script src="${src}/vireo.js" defer></script>`;
  pages['/column'] = { html: column(''), headers: {} };
  pages['/themed'] = { html: column('div{margin-bottom:.8em} span{line-height:1.7} .entry-content button{background:pink;padding:9px} *{letter-spacing:2px}'), headers: {} };
  pages['/large'] = { html: column('.entry-content{--vireo-font-size:24px;--vireo-panel:rgb(1,2,3)}'), headers: {} };
  const drawn = () => until(() => $$('.vireo-row').length >= 1 && $1('.vireo') && document.querySelector('vireo-status').style.visibility === '');
  const layout = [];
  for (const page of ['/column', '/themed']) {
    await b.go(`http://127.0.0.1:${sitePort}${page}`);
    await drawn();
    await until(() => $$('.vireo-row').length === 3);
    await shot(page.slice(1));
    layout.push(await run(() => { const p = $1('.vireo').getBoundingClientRect();
      return [p.width, getComputedStyle($1('.vireo-toggle')).backgroundColor, ...$$('.vireo-title, .vireo-state, .vireo-summary, .vireo-row, .vireo-toggle').map((e) => {
        const r = e.getBoundingClientRect(); return [r.x - p.x, r.y - p.y, r.width, r.height].map(Math.round); })]; }));
  }
  assert.deepEqual(layout[1], layout[0]);
  assert.equal(layout[0][0], 400);
  // Larger type (the page's own font size for the panel, Firefox's text-only zoom at 200 %, a
  // 24 px minimum font size): every line stays apart and inside the panel, fewer rows with it.
  const apart = () => {
    // The preview's own summary band reaches a pixel into the headings' (more at a larger size).
    const p = $1('.vireo').getBoundingClientRect(), slack = parseFloat(getComputedStyle($1('.vireo')).fontSize) / 12 + 0.5, near = (a, b) => a <= b + slack;
    const boxes = $$('.vireo-title, .vireo-state, .vireo-summary, .vireo-heads > *, .vireo-row > *').map((e) => e.getBoundingClientRect()).filter((r) => r.width > 0);
    return boxes.every((r, i) => near(r.bottom, p.bottom) && boxes.every((o, j) => j <= i || near(r.right, o.left) || near(o.right, r.left) || near(r.bottom, o.top) || near(o.bottom, r.top)));
  };
  await b.go(`http://127.0.0.1:${sitePort}/large`);
  await drawn();
  assert.deepEqual(await run(() => [getComputedStyle($1('.vireo')).backgroundColor, $1('.vireo').getBoundingClientRect().height > 118]), ['rgb(1, 2, 3)', true]);
  await until(apart);
  if (b.textZoom) {
    await b.go(`http://127.0.0.1:${sitePort}/column`);
    await drawn();
    await b.textZoom(2);
    await until(() => parseFloat(getComputedStyle($1('.vireo')).fontSize) === 24);
    await until(apart);
    await shot('text-zoom-200');
    await b.textZoom(1);
    await b.minimumFontSize(24);
    await b.go(`http://127.0.0.1:${sitePort}/column`);
    await drawn();
    await shot('min24');
    await until(apart);
    await b.minimumFontSize(0);
  }
  // Served from the site's own files, the script names its gateway; while that cannot be reached,
  // the panel says so at once, and turns live when it is back, with no reload.
  const away = await freePort(), copy = (ext) => fs.readFileSync(process.env.VIREO_JS.replace(/\.js$/, '.' + ext));
  pages['/js/vireo-1.0.js'] = { html: copy('js'), headers: { 'Content-Type': 'text/javascript' } };
  pages['/js/vireo-1.0.css'] = { html: copy('css'), headers: { 'Content-Type': 'text/css' } };
  pages['/own'] = { html: '<!doctype html><body>' + snippet(43, 'q3', '127.0.0.1', qport, 1000, 0, 1740) + `<script src="/js/vireo-1.0.js" data-gateway="http://127.0.0.1:${away}" defer></script>`, headers: {} };
  await b.go(`http://127.0.0.1:${sitePort}/own`);
  await until(() => $1('.vireo-state')?.textContent === 'status unavailable' && getComputedStyle($1('.vireo')).height === '22px');
  const back = http.createServer(front.listeners('request')[0]);
  await new Promise((r) => back.listen(away, '127.0.0.1', r));
  await until(() => $1('.vireo-state')?.textContent === 'online');
  back.close(); back.closeAllConnections();
  // A server the gateway may not ask about is asked about once, not at every refresh.
  pages['/refused'] = { html: '<!doctype html><body>' + snippet(43, 'q3', '127.0.0.1', qport + 1, 1000, 0, 1740) + `<script src="${src}/vireo.js" defer></script>`, headers: {} };
  const beforeRefused = asked;
  await b.go(`http://127.0.0.1:${sitePort}/refused`);
  await until(() => $1('.vireo-state')?.textContent === 'not allowed');
  await sleep(3000);
  assert.equal(asked - beforeRefused, 1, 'a refused panel asks once');
  // A failed panel keeps one line, no toggle that would hide nothing, and its link below.
  assert.deepEqual(await run(() => [$1('.vireo').getBoundingClientRect().height, getComputedStyle($1('.vireo-toggle')).display,
    document.links[0].getBoundingClientRect().top >= document.querySelector('vireo-status').getBoundingClientRect().bottom]), [22, 'none', true]);
  await b.go(`http://127.0.0.1:${sitePort}/plain`);
  await until(() => $$('.vireo-state').length === 3 && $$('.vireo-state').every((e) => e.textContent === 'online'));
  // An answer kept too long by a cache in front is shown for what it is, by its age.
  replayAge = 4;  // the Date header counts whole seconds: 3 or 4 s old
  await until(() => $$('.vireo-state').every((e) => /^online \(stale\), [34] s old$/.test(e.textContent)));
  replayAge = 3600;
  await until(() => $$('.vireo-state').every((e) => e.textContent === 'status unavailable'));
  replayAge = 0;
  await until(() => $$('.vireo-state').every((e) => e.textContent === 'online'));
  front.closeAllConnections(); front.close(); gateway.kill();
  await until(() => [...$$('.vireo-state')].every((s) => s.textContent === 'status unavailable'));
});
