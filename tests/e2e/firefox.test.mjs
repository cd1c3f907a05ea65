// The extension in Debian's Firefox ESR, installed as a temporary add-on,
// against a recording native host: the same checks as in Chromium
// (support/extension-suite.mjs).
import { firefoxDriver } from './support/firefox.mjs';
import { extensionSuite } from './support/extension-suite.mjs';

extensionSuite(firefoxDriver);
