// The browsers the web tests and benchmarks drive.
//
//   const browser = await launch({ browser: 'chromium' | 'firefox', click, unthrottled, angle });
import puppeteer from 'puppeteer-core';

// The browsers as Debian installs them, in software: SwiftShader's WebGL2 in
// Chromium, Mesa's in Firefox. Nothing may reach the network. Firefox offers
// WebGL only with a display: given one (DISPLAY), it opens its window there.
export async function launch(o) {
  if (o.browser === 'firefox') {
    return puppeteer.launch({
      browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: !process.env.DISPLAY,
      extraPrefsFirefox: {
        'media.autoplay.default': o.click ? 5 : 0,
        'media.autoplay.blocking_policy': o.click ? 2 : 0,
        'media.autoplay.block-webaudio': o.click,
        'webgl.force-enabled': true,
        'network.proxy.type': 0,
        ...(o.unthrottled ? { 'layout.frame_rate': 0 } : {}),
      },
    });
  }
  const args = ['--no-sandbox', `--use-angle=${o.angle || 'swiftshader'}`, '--enable-unsafe-swiftshader',
                '--disable-background-networking', '--disable-component-update', '--disable-sync',
                '--no-first-run', '--disable-quic', '--mute-audio'];
  if (!o.click) args.push('--autoplay-policy=no-user-gesture-required');
  if (o.unthrottled) args.push('--disable-gpu-vsync', '--disable-frame-rate-limit');
  if (o.angle === 'gl') args.push('--ignore-gpu-blocklist');
  return puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true, args });
}
