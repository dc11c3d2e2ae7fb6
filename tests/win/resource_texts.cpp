#include "resource_texts.h"

// UTF-8 source. The Spanish texts spell their no-break spaces as escapes.
const LocalizedTexts kLocalizedTexts[kLocalizedTextCount] = {
    // English (United States)
    {1033,
     L"This task keeps your Quorvel Plumix Player installation up to date with the latest enhancements and security fixes. If this task is disabled or removed, Quorvel Plumix Player will be unable to automatically secure your machine with the latest security fixes.",
     L"This service keeps your Quorvel Plumix Player installation up to date with the latest enhancements and security fixes."},
    // Swedish
    {29,
     L"Med den här uppgiften hålls Quorvel Plumix Player-installationen uppdaterad med de senaste förbättringarna och säkerhetskorrigeringarna. Om du inaktiverar eller tar bort uppgiften kan Quorvel Plumix Player inte skydda datorn automatiskt med de senaste säkerhetskorrigeringarna.",
     L"Med den här tjänsten hålls Quorvel Plumix Player-installationen uppdaterad med de senaste förbättringarna och säkerhetskorrigeringarna."},
    // Chinese (Traditional)
    {1028,
     L"這個工作會讓您的 Quorvel Plumix Player 安裝與最新增強功能和安全性修正保持同步。如果停用或移除這個工作，Quorvel Plumix Player 將無法自動透過最新安全性修正保護您的電腦。",
     L"這個服務會讓您的 Quorvel Plumix Player 安裝與最新增強功能和安全性修正保持同步。"},
    // Czech
    {1029,
     L"Tato úloha udržuje instalaci přehrávače Quorvel Plumix Player v aktualizovaném stavu s použitím nejnovějších rozšíření a oprav zabezpečení. Při zakázání nebo odebrání této úlohy nebude moci přehrávač Quorvel Plumix Player použít automatické zabezpečení počítače pomocí nejnovějších oprav zabezpečení.",
     L"Tato služba udržuje instalaci přehrávače Quorvel Plumix Player v aktualizovaném stavu s použitím nejnovějších rozšíření a oprav zabezpečení."},
    // German
    {1031,
     L"Mit diesem Task ist Ihre Plumix Player-Installation immer aktuell und verwendet die neuesten Verbesserungen und Sicherheits-Fixes. Wenn dieser Task deaktiviert oder entfernt wird, kann Quorvel Plumix Player Ihren Computer nicht automatisch mit den neuesten Sicherheits-Fixes sichern.",
     L"Mit diesem Dienst ist Ihre Quorvel Plumix Player-Installation immer aktuell und verwendet die neuesten Verbesserungen und Sicherheits-Fixes."},
    // French
    {1036,
     L"Cette tâche permet de tenir à jour votre installation d’Quorvel Plumix Player afin de profiter des dernières améliorations et des derniers correctifs de sécurité. Si vous désactivez ou supprimez cette tâche, Quorvel Plumix Player ne sera plus en mesure de sécuriser automatiquement votre ordinateur à l’aide des derniers correctifs de sécurité.",
     L"Ce service permet de tenir à jour votre installation de Quorvel Plumix Player afin de profiter des dernières améliorations et des derniers correctifs de sécurité."},
    // Italian
    {1040,
     L"Questa attività mantiene aggiornata l'installazione di Quorvel Plumix Player con gli ultimi miglioramenti e le più recenti correzioni relative alla sicurezza. Se l'attività viene disattivata o rimossa, Quorvel Plumix Player non sarà in grado di proteggere automaticamente il sistema con le ultime correzioni relative alla sicurezza.",
     L"Questo servizio mantiene aggiornata l'installazione di Quorvel Plumix Player con gli ultimi miglioramenti e le più recenti correzioni relative alla sicurezza."},
    // Japanese
    {1041,
     L"このタスクにより、Quorvel Plumix Player は最新の機能強化とセキュリティの修正がインストールされた最新の状態で保たれます。このタスクを無効にしたり削除したりすると、Quorvel Plumix Player は最新のセキュリティの修正でご使用のマシンを自動的に保護することができなくなります。",
     L"このサービスにより、Quorvel Plumix Player は最新の機能強化とセキュリティの修正がインストールされた最新の状態で保たれます。"},
    // Korean
    {1042,
     L"이 작업은 설치된 Quorvel Plumix Player를 최신 기능 향상과 보안 수정 사항이 포함된 최신 상태로 유지합니다. 이 작업이 비활성화되거나 제거되면 Quorvel Plumix Player가 최신 보안 수정 사항을 통해 컴퓨터의 보안을 자동으로 유지할 수 없습니다.",
     L"이 서비스는 설치된 Quorvel Plumix Player를 최신 기능 향상과 보안 수정 사항이 포함된 최신 상태로 유지합니다."},
    // Dutch
    {1043,
     L"Met deze taak zorgt u dat uw installatie van Quorvel Plumix Player up-to-date blijft met de nieuwste correcties en beveiligingsverbeteringen. Wanneer deze taak wordt uitgeschakeld of verwijderd, kan Quorvel Plumix Player uw computer niet meer automatisch beveiligen met de meest recente beveiligingsverbeteringen.",
     L"Met deze service zorgt u dat uw installatie van Quorvel Plumix Player up-to-date blijft met de nieuwste verbeteringen en beveiligingscorrecties."},
    // Polish
    {1045,
     L"To zadanie zapewnia aktualność instalacji programu Quorvel Plumix Player, stosując najnowsze ulepszenia i poprawki zabezpieczeń. Jeśli to zadanie zostanie wyłączone lub usunięte, program Quorvel Plumix Player nie będzie mógł automatycznie zabezpieczać komputera przy użyciu najnowszych poprawek zabezpieczeń.",
     L"Ta usługa zapewnia aktualność instalacji programu Quorvel Plumix Player, stosując najnowsze ulepszenia i poprawki zabezpieczeń."},
    // Portuguese (Brazil)
    {1046,
     L"Esta tarefa mantém sua instalação do Quorvel Plumix Player atualizada com os aprimoramentos e as correções de segurança mais recentes. Se esta tarefa for desativada ou removida, o Quorvel Plumix Player não poderá proteger sua máquina automaticamente com as correções de segurança mais recentes.",
     L"Este serviço mantém sua instalação do Quorvel Plumix Player atualizada com os aprimoramentos e as correções de segurança mais recentes."},
    // Russian
    {1049,
     L"Эта задача поддерживает актуальность установки Quorvel Plumix Player с помощью последних улучшений и исправлений системы безопасности. Если эта задача отключена или удалена, Quorvel Plumix Player не сможет автоматически защищать компьютер с помощью новейших исправлений системы безопасности.",
     L"Эта служба поддерживает актуальность установки Quorvel Plumix Player с помощью последних улучшений и исправлений системы безопасности."},
    // Turkish
    {1055,
     L"Bu görev, Quorvel Plumix Player yüklemenizi en yeni geliştirmeler ve güvenlik düzeltmeleri ile güncel tutar. Bu görev devre dışı bırakılır veya kaldırılırsa Quorvel Plumix Player, makinenizi en son güvenlik düzeltmeleri ile otomatik olarak koruyamaz.",
     L"Bu hizmet, Quorvel Plumix Player yüklemenizi en yeni geliştirmeler ve güvenlik düzeltmeleri ile güncel tutar."},
    // Chinese (Simplified)
    {2052,
     L"此任务可使您安装的 Quorvel Plumix Player 能及时获得最新的增强功能和安全修补程序。如果此任务被禁用或删除，则 Quorvel Plumix Player 将无法自动使用最新的安全修补程序保护您的机器。",
     L"此服务可使您安装的 Quorvel Plumix Player 能及时获得最新的增强功能和安全修补程序。"},
    // Spanish
    {3082,
     L"Esta tarea mantiene actualizada la instalación de Quorvel\u00A0Plumix\u00A0Player con las últimas mejoras y soluciones de seguridad. Si desactiva o elimina la tarea, Quorvel\u00A0Plumix\u00A0Player no podrá proteger automáticamente su equipo con las últimas soluciones de seguridad.",
     L"Este servicio mantiene actualizada la instalación de Quorvel\u00A0Plumix\u00A0Player con las últimas mejoras y soluciones de seguridad."},
};

const wchar_t* EnglishTaskDescription() { return kLocalizedTexts[0].taskDescription; }
