// Both Minecraft editions through the real gateway binary, against servers of other people's
// making (npm's minecraft-protocol and bedrock-protocol), on loopback, ended with this process.
const test = require('node:test'), assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const net = require('node:net');
// Only the server half of bedrock-protocol: its client half loads a native RakNet, which is not
// built here (its pure-JavaScript RakNet serves).
const mc = require('minecraft-protocol'), bedrock = require('bedrock-protocol/src/createServer');

const freePort = () => new Promise((r) => { const s = net.createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => r(port)); }); });
// A real PNG of one pixel, for the server's icon.
const PNG = 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==';

test('Java and Bedrock servers, their status and banner, one connection for many asks', async (t) => {
  const [javaPort, bedrockPort, gatewayPort] = [await freePort(), await freePort(), await freePort()];
  let connections = 0;
  const java = mc.createServer({
    'online-mode': false, host: '127.0.0.1', port: javaPort, version: '1.20.4', maxPlayers: 20,
    motd: '\u00a76Vireo \u00a7lJava\n\u00a77the second line', favicon: `data:image/png;base64,${PNG}`,
    beforePing: (reply, client, answer) => {
      reply.players.online = 2;
      reply.players.sample = [{ name: '\u00a7cSteve', id: '00000000-0000-0000-0000-000000000001' }, { name: 'Alex', id: '00000000-0000-0000-0000-000000000002' }];
      answer(null, reply);
    }
  });
  java.on('connection', () => connections++);
  const pe = bedrock.createServer({ host: '127.0.0.1', port: bedrockPort, offline: true, maxPlayers: 10, raknetBackend: 'jsp-raknet', motd: { motd: '\u00a7aVireo Bedrock', levelName: 'Sunny Isle' } });
  const gateway = spawn(process.env.VIREO_GATEWAY, ['--listen', `127.0.0.1:${gatewayPort}`, '--min-refresh', '60',
    '--rate', '0', '--max-connections-per-client', '256',
    '--allow', `minecraft:127.0.0.1:${javaPort}`, '--allow', `mbe:127.0.0.1:${bedrockPort}`], { stdio: ['ignore', 'inherit', 'pipe'] });
  t.after(() => { gateway.kill(); java.close(); pe.close(); });
  // The gateway says so once it listens.
  await new Promise((resolve, reject) => {
    let said = '';
    gateway.stderr.on('data', (d) => { said += d; if (said.includes('listening on')) resolve(); });
    gateway.on('exit', () => reject(new Error(`the gateway ended: ${said}`)));
  });
  const ask = (what, game, port) => fetch(`http://127.0.0.1:${gatewayPort}/${what}?game=${game}&host=127.0.0.1&port=${port}`);

  // 200 pages at once ask about the Java server: the gateway opens one connection to it.
  const answers = await Promise.all(Array.from({ length: 200 }, () => ask('status.json', 'minecraft', javaPort).then((r) => r.json())));
  assert.equal(connections, 1);
  const j = answers[0];
  assert.deepEqual([j.state, j.name, j.map, j.players, j.maxPlayers, j.rows.map((r) => r.name), j.rowNumbers],
    ['online', 'Vireo Java', 'the second line', 2, 20, ['Steve', 'Alex'], false]);
  assert.ok(j.latencyMs >= 0);
  // Its icon, as a PNG of its own, and in its banner.
  assert.equal(j.icon, true);
  const icon = await ask('icon.png', 'minecraft', javaPort);
  assert.deepEqual([icon.status, icon.headers.get('content-type'), icon.headers.get('x-content-type-options')], [200, 'image/png', 'nosniff']);
  assert.equal(Buffer.from(await icon.arrayBuffer()).toString('base64'), PNG);
  const b = await (await ask('status.json', 'mbe', bedrockPort)).json();
  assert.deepEqual([b.state, b.name, b.map, b.maxPlayers, b.rows], ['online', 'Vireo Bedrock', 'Sunny Isle', 10, []]);
  for (const [game, port, name] of [['minecraft', javaPort, 'Vireo Java'], ['mbe', bedrockPort, 'Vireo Bedrock']]) {
    const banner = await ask('banner.svg', game, port);
    assert.equal(banner.headers.get('content-type'), 'image/svg+xml');
    const svg = await banner.text();
    assert.match(svg, new RegExp(`>${name}<`));
    assert.equal(svg.includes(`href="data:image/png;base64,${PNG}"`), game === 'minecraft');
  }
});
