"""The Windows service under Wine serves its embedded images from its own PE resources.

The service runs from a folder that holds nothing but the executable and its
configuration, so the favicon and the logo can only come from inside the executable.
"""
import os
import unittest

from wine_service import WineService, free_port

SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


class WineEmbeddedFiles(unittest.TestCase):
    def test_favicon_and_logo_come_from_the_pe_resources(self):
        port = free_port()
        with WineService(port, files={"config_http.txt": b"[http]\r\nport=%d\r\n" % port}, folder="kvres") as svc:
            for target, name, mime in (("/favicon.ico", "favicon.ico", "application/octet-stream"),
                                       ("/logo.png", "logo.png", "image/png")):
                with self.subTest(target=target):
                    with open(os.path.join(SOURCE, "resources", name), "rb") as f:
                        expected = f.read()
                    status, headers, body = svc.get(target)
                    self.assertEqual(status, 200)
                    self.assertEqual(headers.get("Content-Type"), mime)
                    self.assertEqual(body, expected)


if __name__ == "__main__":
    unittest.main()
