#!/usr/bin/python3
"""One round through the register's pages in a real, headless Chromium.

Arguments: BASE_URL ACCOUNT PASSWORD WORK_DIR [SCREENSHOT_DIR]
Exits non-zero with the step that failed.
"""
import os
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

base, account, password, work = sys.argv[1:5]
shots = sys.argv[5] if len(sys.argv) > 5 else None
downloads = os.path.join(work, "downloads")
os.makedirs(downloads, exist_ok=True)

options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
             "--window-size=1280,900", "--lang=zh-CN"):
    options.add_argument(flag)
options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                          "download.prompt_for_download": False})
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
# A click that submits a form returns before the next page is there.
driver.implicitly_wait(10)


def wait_for(test, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        if test():
            return True
        time.sleep(0.1)
    return False


def step(text, condition):
    if callable(condition):
        condition = wait_for(condition, 10)
    if not condition:
        print("failed:", text, "at", driver.current_url)
        print(driver.find_element(By.TAG_NAME, "body").text[:2000])
        driver.quit()
        sys.exit(1)


def shot(name):
    if shots:
        driver.save_screenshot(os.path.join(shots, name))


def find(css):
    return driver.find_element(By.CSS_SELECTOR, css)


# Sign in.
driver.get(base + "/")
step("sent to the sign-in page", lambda: driver.current_url.endswith("/signin"))
find("#name").send_keys(account)
find("#password").send_keys(password)
shot("web-signin.png")
find("#signin").click()
step("all records after signing in", lambda: "系统定义查询：所有记录" in driver.page_source)

# Register a file with the add form.
content = bytes(range(256)) * 1024 + "浏览器上传的文件".encode()
upload = os.path.join(work, "季度报告-浏览器.pdf")
with open(upload, "wb") as f:
    f.write(content)
driver.get(base + "/add")
find("input[name=remark]").send_keys("浏览器登记")
find("input[name=recipient]").send_keys("张三")
find("input[name=folder]").send_keys("浏览器")
find("#files").send_keys(upload)
shot("web-add.png")
find("#register").click()
step("file registered", lambda: "已登记 1 个文件" in driver.page_source)

# Search for it by name.
driver.get(base + "/")
find("input[name=b0]").send_keys("季度报告")
find("#search").click()
step("search finds the file", lambda: "组合搜索" in driver.page_source
     and "共 1 条" in driver.page_source)
shot("web-search.png")
find(".pages button").click()
step("the pager turns pages of the same search", lambda: "p=1" in driver.current_url
     and "共 1 条" in driver.page_source and "请先选择" not in driver.page_source)

# Download it: the same bytes.
find("#grid a[download]").click()
saved = os.path.join(downloads, "季度报告-浏览器.pdf")
step("download arrives", wait_for(lambda: os.path.exists(saved)
                                  and open(saved, "rb").read() == content))

# Modify its remark from the record page.
find("#grid tbody a[href^='/record/']").click()
remark = find("#modifyform input[name=备注]")
remark.clear()
remark.send_keys("已在浏览器中修改")
find("#save").click()
step("modified", lambda: "已修改 1 条记录" in driver.page_source)
step("history names the account", account in find("#history").text
     and "修改" in find("#history").text)
shot("web-record.png")

# Delete it, then restore it from the bin.
find("#delete").click()
step("deleted", lambda: "已删除 1 条记录" in driver.page_source)
driver.get(base + "/bin")
step("in the bin", "季度报告-浏览器.pdf" in find("#bin").text)
shot("web-bin.png")
find("#bin .restore").click()
step("restored", lambda: "已恢复" in driver.page_source)

# Sign out: the pages ask for a sign-in again.
find("#signout").click()
step("sign-in page after signing out", lambda: driver.current_url.endswith("/signin"))
driver.get(base + "/")
step("signed out", lambda: driver.current_url.endswith("/signin"))
driver.quit()
print("browser round done")
